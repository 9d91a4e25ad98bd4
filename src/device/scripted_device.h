// A device library for tests: records every call and answers from a script.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "device/piamp.h"

namespace tarvolen {

class ScriptedDevice : public DeviceLibrary {
  public:
    struct Call {
        int32_t code;
        std::intptr_t integerInput;  // the input as passed (address or plain integer)
        std::vector<uint8_t> input;  // the input record's bytes, empty for integer inputs
    };
    struct Answer {
        int32_t result = 0;
        std::vector<uint8_t> output;  // copied over the output record's start when non-empty
    };
    // A handler sees the call and may fill the output itself.
    using Handler = std::function<int32_t(const Call&, void* output)>;

    // Answers queued per code are used once each, in order; after that the
    // code's handler, then its default result (0).
    void Queue(int32_t code, Answer answer);
    void SetHandler(int32_t code, Handler handler);
    void SetDefaultResult(int32_t code, int32_t result);

    std::vector<Call> Calls() const;
    std::vector<Call> CallsOf(int32_t code) const;
    void ClearCalls();

    int32_t Command(int32_t code, std::intptr_t input, void* output) override;

    // Codes whose input is a plain integer rather than a record, per library.
    explicit ScriptedDevice(std::vector<int32_t> integerInputCodes = {})
        : integerCodes_(std::move(integerInputCodes)) {}

    template <typename Record>
    static Record As(const Call& call) {
        Record r{};
        std::memcpy(&r, call.input.data(), std::min(call.input.size(), sizeof(Record)));
        return r;
    }
    template <typename Record>
    static Answer Reply(const Record& record, int32_t result = 0) {
        Answer a;
        a.result = result;
        a.output.resize(sizeof(Record));
        std::memcpy(a.output.data(), &record, sizeof(Record));
        return a;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<int32_t> integerCodes_;
    std::vector<Call> calls_;
    std::map<int32_t, std::deque<Answer>> queued_;
    std::map<int32_t, Handler> handlers_;
    std::map<int32_t, int32_t> defaults_;
};

// The integer-input codes of PIAMPCOMMAND (status and clip-name polls).
ScriptedDevice::Call MakeCall(int32_t code, std::intptr_t input, bool integerInput);

}  // namespace tarvolen
