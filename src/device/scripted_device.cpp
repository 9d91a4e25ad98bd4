#include "device/scripted_device.h"

#include <algorithm>

namespace tarvolen {

ScriptedDevice::Call MakeCall(int32_t code, std::intptr_t input, bool integerInput) {
    ScriptedDevice::Call call{code, input, {}};
    if (!integerInput && input != 0) {
        // Every record starts with its own size.
        const auto* bytes = reinterpret_cast<const uint8_t*>(input);
        int32_t size = 0;
        std::memcpy(&size, bytes, sizeof size);
        if (size >= 4 && size <= (1 << 20)) call.input.assign(bytes, bytes + size);
    }
    return call;
}

void ScriptedDevice::Queue(int32_t code, Answer answer) {
    std::lock_guard lock(mutex_);
    queued_[code].push_back(std::move(answer));
}

void ScriptedDevice::SetHandler(int32_t code, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[code] = std::move(handler);
}

void ScriptedDevice::SetDefaultResult(int32_t code, int32_t result) {
    std::lock_guard lock(mutex_);
    defaults_[code] = result;
}

std::vector<ScriptedDevice::Call> ScriptedDevice::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<ScriptedDevice::Call> ScriptedDevice::CallsOf(int32_t code) const {
    std::lock_guard lock(mutex_);
    std::vector<Call> out;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(out),
                 [code](const Call& c) { return c.code == code; });
    return out;
}

void ScriptedDevice::ClearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

int32_t ScriptedDevice::Command(int32_t code, std::intptr_t input, void* output) {
    Handler handler;
    Call call;
    {
        std::lock_guard lock(mutex_);
        bool integer =
            std::find(integerCodes_.begin(), integerCodes_.end(), code) != integerCodes_.end();
        call = MakeCall(code, input, integer);
        calls_.push_back(call);
        auto q = queued_.find(code);
        if (q != queued_.end() && !q->second.empty()) {
            Answer a = std::move(q->second.front());
            q->second.pop_front();
            if (output && !a.output.empty()) {
                // Never write past the caller's record: it says how big it is.
                int32_t size = 0;
                std::memcpy(&size, output, sizeof size);
                size_t n = std::min<size_t>(a.output.size(), size > 0 ? size_t(size) : 0);
                std::memcpy(output, a.output.data(), n);
            }
            return a.result;
        }
        auto h = handlers_.find(code);
        if (h != handlers_.end())
            handler = h->second;
        else {
            auto d = defaults_.find(code);
            return d == defaults_.end() ? 0 : d->second;
        }
    }
    return handler(call, output);
}

}  // namespace tarvolen
