// The whole controller in this process: the real Qt backend on the offscreen
// platform, the real recorder link, and a bank of 24 emulated recorders on
// loopback. Each test starts the program afresh, connected and polled once.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/amp_control.h"
#include "platform/deck_link/install.h"
#include "platform/qt/qt_seam.h"
#include "recorder/bank.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/instance_lock.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "windows/program.h"

namespace tarvolen::testing {

using namespace std::chrono_literals;

// The default address of a channel: 127.0.0.101 for channel 0.
inline std::string Address(int ch) {
    return "127.0.0." + std::to_string(101 + ch);
}

class WholeProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string instance = "TarVolenE2E" + std::to_string(::getpid());
        ::setenv("TARVOLEN_INSTANCE", instance.c_str(), 1);
        recorder::BankOptions options;
        std::string error;
        ASSERT_TRUE(recorder::ExpandAddresses("127.0.0.101-124", options.addresses, error))
            << error;
        options.port = 0;
        PrepareBank(options);
        bank = std::make_unique<recorder::Bank>(options);
        ASSERT_TRUE(bank->Start(error)) << error;
        link::LinkOptions linkOptions;
        linkOptions.port = bank->Port();
        // The program's own installation: our link and the deck link behind the router.
        links = decklink::InstallLinks(linkOptions);

        qt::EnsureApplication(0, nullptr);
        qt::SetCallbacks(ApplicationEvent, ApplicationDesign);
        qt::SetMessageBoxAnswerer([this](const std::string&, const std::string& text,
                                         const std::string& caption, const std::string& buttons) {
            questions.push_back(text);
            boxes.push_back(text + "/" + caption + "/" + buttons);
            return 1;  // "&Yes" / "&Ok"
        });
        SetEndProcessHook([this](int code) { exitCode = code; });
        // No settings file: the default channels, 127.0.0.101 to 124.
        std::filesystem::remove(cSettings::SettingsPathFor(cSettings::ProgramPath()));
        PrepareSettings(cSettings::SettingsPathFor(cSettings::ProgramPath()));
        std::vector<std::string> args{"tarvolen"};
        for (auto& a : Arguments()) args.push_back(a);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        InstallApplication(MakeApplication(int(args.size()), argv.data()));
        ApplicationStart(0);
        ASSERT_TRUE(EZ_FORMEXISTS("MAIN"));
        ASSERT_TRUE(PumpUntil([&] { return g_Ampcontrol && g_Ampcontrol->IsConnected(); }, 10s));
        // Up: every channel selected and polled once.
        ASSERT_TRUE(PumpUntil([&] {
            for (int ch = 0; ch < 24; ++ch) {
                if (!g_Settings->Checked(ch) || g_Settings->State(ch) != StartState(ch))
                    return false;
            }
            return true;
        }));
    }

    void TearDown() override {
        // The program's own way out ends the process at once; a test returns
        // instead, so it stops the status thread before statics go.
        if (g_Ampcontrol) g_Ampcontrol->Disconnect();
        qt::SetMessageBoxAnswerer(nullptr);
        // The lock goes with the process; its file need not stay behind.
        ::unlink(InstanceLock::LockPath(InstanceLock::Name(),
                                        cSettings::SettingsPathFor(cSettings::ProgramPath()))
                     .c_str());
    }

    // Lets a test give the bank clips it had before the controller started.
    virtual void PrepareBank(recorder::BankOptions&) {}
    // What a channel reads once the program is up.
    virtual std::string StartState(int /*ch*/) const { return "Stop"; }
    // Lets a test start from a settings file of its own.
    virtual void PrepareSettings(const std::string& /*path*/) {}
    // Lets a test start the program with arguments of its own.
    virtual std::vector<std::string> Arguments() { return {}; }

    template <typename Pred>
    static bool PumpUntil(Pred pred, std::chrono::milliseconds timeout = 5s) {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (!pred() && std::chrono::steady_clock::now() < end) {
            EZ_DOEVENTS(255);
            std::this_thread::sleep_for(5ms);
        }
        return pred();
    }

    std::unique_ptr<recorder::Bank> bank;
    decklink::InstalledLinks links;
    std::vector<std::string> questions;  // message box texts
    std::vector<std::string> boxes;      // text/caption/buttons
    int exitCode = -1;
};

}  // namespace tarvolen::testing
