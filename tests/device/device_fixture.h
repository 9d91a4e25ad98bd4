// Shared pieces of the device tests: a clock whose sleeps cost nothing, a
// clip list stand-in, a settings object in a scratch directory and builders
// for the status and clip-name tables a recorder answers with.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/amp_control.h"
#include "device/clip_directory.h"
#include "device/device_clock.h"
#include "device/piamp.h"
#include "device/records.h"
#include "device/scripted_device.h"
#include "device/status.h"
#include "device/sync_thread.h"
#include "platform/qt/qt_seam.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "timecode/tc_math.h"

namespace tarvolen::test {

class FakeClock : public DeviceClock {
  public:
    void Sleep(int32_t ms) override { ticks_ += uint32_t(ms > 0 ? ms : 0); }
    uint32_t Ticks() override { return ticks_.load(); }
    uint32_t Elapsed() const { return ticks_.load(); }

  private:
    std::atomic<uint32_t> ticks_{1000};
};

class FakeClips : public ClipDirectory {
  public:
    int32_t GetChannel() override { return channel; }
    void ConnectDirectory() override { calls.push_back("connect"); }
    void DisconnectDirectory() override { calls.push_back("disconnect"); }
    void Open(int32_t ch) override { opened.push_back(ch); }
    std::string GetClipTimes(const std::string& clip) override {
        asked.push_back(clip);
        return times;
    }
    int32_t channel = 0;
    std::string times = "01:00:00;00|00:00:10;00";
    std::vector<std::string> calls;
    std::vector<int32_t> opened;
    std::vector<std::string> asked;
};

// A settings object over a settings file of its own, so nothing the tests
// change reaches another test or the developer's own settings.
inline std::string ScratchProgram() {
    static int n = 0;
    auto dir = std::filesystem::temp_directory_path() /
               ("tarvolen-device-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
    std::filesystem::create_directories(dir);
    return (dir / "tarvolen").string();
}

inline StatusTable Table(
    const std::vector<std::pair<int, std::pair<std::string, std::string>>>& entries = {}) {
    StatusTable t;
    std::memset(static_cast<void*>(&t), 0, sizeof t);
    t.size = sizeof t;
    for (int ch = 0; ch < kDeviceChannels; ++ch) {
        StoreField(t.entry[ch].state, sizeof t.entry[ch].state, "Stop");
        StoreField(t.entry[ch].timecode, sizeof t.entry[ch].timecode, "00:00:00;00");
    }
    for (const auto& [ch, st] : entries) {
        StoreField(t.entry[ch].state, sizeof t.entry[ch].state, st.first);
        StoreField(t.entry[ch].timecode, sizeof t.entry[ch].timecode, st.second);
    }
    return t;
}

inline ClipNameTable Names(const std::vector<std::pair<int, std::string>>& entries = {}) {
    ClipNameTable t;
    std::memset(static_cast<void*>(&t), 0, sizeof t);
    t.size = sizeof t;
    for (int ch = 0; ch < kDeviceChannels; ++ch) StoreField(t.name[ch], kClipNameWidth, "");
    for (const auto& [ch, name] : entries) StoreField(t.name[ch], kClipNameWidth, name);
    return t;
}

inline std::string TextOf(const ScriptedDevice::Call& call) {
    if (call.input.size() < sizeof(TextBlock)) return {};
    TextBlock b;
    std::memcpy(&b, call.input.data(), sizeof b);
    std::string text(b.text, kTextBlockWidth);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

inline ScriptedDevice::Answer TextReply(const std::string& text, int32_t result = 0) {
    auto block = std::make_unique<TextBlock>();
    StoreField(block->text, kTextBlockWidth, text);
    return ScriptedDevice::Reply(*block, result);
}

// The whole device layer wired as the program wires it, over a scripted amp
// library, with the status thread built but not started.
class DeviceTest : public ::testing::Test {
  protected:
    DeviceTest()
        : settings(ScratchProgram()),
          tc(FrameRateOfSettings(settings)),
          status(settings),
          amp(settings),
          sync(status, amp, settings) {
        // ctest does not hand its environment to every discovered case.
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        qt::EnsureApplication(0, nullptr);
        qt::SetMessageBoxAnswerer([this](const std::string&, const std::string& text,
                                         const std::string& caption, const std::string& buttons) {
            boxes.push_back(text + "#" + caption + "#" + buttons);
            return answer;
        });
        InstallAmpLibrary(device);
        InstallClipDirLibrary(clipdir);
        amp.SetClock(&clock);
        amp.SetStatus(&status);
        amp.SetClipDirectory(&clips);
        amp.SetTcMath(&tc);
        status.SetClock(&clock);
        status.SetAmpcontrol(&amp);
        status.SetSyncThread(&sync);
        status.SetClipDirectory(&clips);
        g_StepMode = 0;
    }
    ~DeviceTest() override {
        amp.SetSyncThread(nullptr);
        amp.Disconnect();
        InstallAmpLibrary(nullptr);
        InstallClipDirLibrary(nullptr);
        qt::SetMessageBoxAnswerer(nullptr);
    }

    // Connects without asking; the status thread stays unlaunched.
    void ConnectQuietly() {
        amp.Connect(0);
        device->ClearCalls();
    }
    // Channels not named are unchecked; the named ones are checked with the
    // state given.
    void OnlyChecked(const std::vector<std::pair<int, std::string>>& channels) {
        for (int ch = 0; ch < kChannelCount; ++ch) settings.SetChecked(ch, 0);
        for (const auto& [ch, state] : channels) {
            settings.SetChecked(ch, 1);
            settings.SetState(ch, state);
        }
    }
    std::vector<int32_t> ChannelsOf(int32_t code) {
        std::vector<int32_t> out;
        for (const auto& c : device->CallsOf(code))
            out.push_back(ScriptedDevice::As<ChannelRequest>(c).channel);
        return out;
    }
    std::vector<int32_t> CodesSent() {
        std::vector<int32_t> out;
        for (const auto& c : device->Calls()) out.push_back(c.code);
        return out;
    }

    std::shared_ptr<ScriptedDevice> device =
        std::make_shared<ScriptedDevice>(std::vector<int32_t>{amp::kStatus, amp::kClipNames});
    std::shared_ptr<ScriptedDevice> clipdir = std::make_shared<ScriptedDevice>();
    FakeClock clock;
    FakeClips clips;
    cSettings settings;
    cTcMath tc;
    cStatus status;
    cAmpcontrol amp;
    cSyncThread sync;
    int32_t answer = 1;
    std::vector<std::string> boxes;
};

}  // namespace tarvolen::test
