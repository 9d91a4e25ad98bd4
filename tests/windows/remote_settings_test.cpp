// Whether remote control is on, and where, from the settings file and the
// command line.
#include <gtest/gtest.h>

#include "shell/ini.h"
#include "windows/remote_control.h"

namespace {

using namespace tarvolen;

TEST(RemoteSettings, SettingsFileThenCommandLine) {
    struct Case {
        const char* ini;
        const char* commandLine;
        bool on;
        uint16_t port, channelBase;
        const char* address;
        std::vector<std::string> allowed;
        bool channelDecks;
        bool problem;
    };
    const Case cases[] = {
        {"", "", false, 9993, 9993, "127.0.0.1", {}, false, false},
        {"[Remote]\nEnabled=1\n", "", true, 9993, 9993, "127.0.0.1", {}, false, false},
        {"[remote]\nenabled = 1\nPort=9000\nAddress=0.0.0.0\nAllow=10.0.0.1, 10.0.0.2;10.0.0.3\n"
         "ChannelPorts=1\nChannelBasePort=10000\n",
         "",
         true,
         9000,
         10000,
         "0.0.0.0",
         {"10.0.0.1", "10.0.0.2", "10.0.0.3"},
         true,
         false},
        {"", "autorec=600 remote=1", true, 9993, 9993, "127.0.0.1", {}, false, false},
        {"[Remote]\nEnabled=1\n", "REMOTE=0", false, 9993, 9993, "127.0.0.1", {}, false, false},
        {"[Remote]\nPort=9000\n",
         "remote=12000",
         true,
         12000,
         12000,
         "127.0.0.1",
         {},
         false,
         false},
        {"[Remote]\nEnabled=1\nPort=70000\n", "", true, 9993, 9993, "127.0.0.1", {}, false, true},
        {"", "remote=99999", false, 9993, 9993, "127.0.0.1", {}, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ini) + " | " + c.commandLine);
        RemoteSettings r = ReadRemoteSettings(IniFile::Parse(c.ini), c.commandLine);
        EXPECT_EQ(r.on, c.on);
        EXPECT_EQ(r.options.port, c.port);
        EXPECT_EQ(r.options.channelBase, c.channelBase);
        EXPECT_EQ(r.options.address, c.address);
        EXPECT_EQ(r.options.allowed, c.allowed);
        EXPECT_EQ(r.options.channelDecks, c.channelDecks);
        EXPECT_EQ(!r.problem.empty(), c.problem) << r.problem;
    }
}

}  // namespace
