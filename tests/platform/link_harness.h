// A bank of emulated recorders and a link connected to it, for link tests.
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/records.h"
#include "platform/recorder_link/recorder_link.h"
#include "recorder/bank.h"
#include "shell/text.h"

namespace tarvolen::testing {

// Loopback addresses no other test process uses at the same time.
inline std::string UniquePrefix() {
    static std::atomic<int> counter{0};
    int n = counter++;
    return "127." + std::to_string(20 + getpid() % 200) + "." + std::to_string(1 + n % 250) + ".";
}

struct Harness {
    std::vector<std::string> addresses;
    std::unique_ptr<recorder::Bank> bank;
    std::unique_ptr<link::RecorderLink> link;
    ConnectTable table{};

    explicit Harness(int recorders, int channels = 4, link::LinkOptions options = {}) {
        std::string prefix = UniquePrefix();
        recorder::BankOptions bo;
        for (int i = 1; i <= recorders; ++i) bo.addresses.push_back(prefix + std::to_string(i));
        bo.port = 0;
        bo.channels = channels;
        addresses = bo.addresses;
        bank = std::make_unique<recorder::Bank>(bo);
        std::string error;
        if (!bank->Start(error)) throw std::runtime_error(error);
        options.port = bank->Port();
        link = std::make_unique<link::RecorderLink>(options);
        table.size = sizeof table;
    }

    void Map(int ch, const std::string& address, int internal) {
        table.shown[ch] = 1;
        table.internalChannel[ch] = internal;
        StoreField(table.address[ch], kAddressWidth, address);
    }
    // Channel i on recorder i, internal channel 1.
    int32_t ConnectOnePerRecorder() {
        for (std::size_t i = 0; i < addresses.size(); ++i)
            Map(static_cast<int>(i), addresses[i], 1);
        return Connect();
    }
    int32_t Connect() { return link->AmpCommand(amp::kConnect, RecordArg(&table), &table); }

    StatusTable Status() {
        StatusTable t{};
        t.size = sizeof t;
        link->AmpCommand(amp::kStatus, 0, &t);
        return t;
    }
    std::string State(int ch) {
        StatusTable t = Status();
        return ReadField(t.entry[ch].state, sizeof t.entry[ch].state);
    }
    std::string Timecode(int ch) {
        StatusTable t = Status();
        return ReadField(t.entry[ch].timecode, sizeof t.entry[ch].timecode);
    }
    // Polls until the channel's state is the word; generous, not a timing check.
    bool WaitState(int ch, const std::string& word,
                   std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (State(ch) == word) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    int32_t Channel(int32_t code, int ch) {
        ChannelRequest r;
        r.channel = ch;
        return link->AmpCommand(code, RecordArg(&r), nullptr);
    }
    int32_t Valued(int32_t code, int ch, int value) {
        ChannelValueRequest r;
        r.channel = ch;
        r.value = value;
        return link->AmpCommand(code, RecordArg(&r), nullptr);
    }
    static std::unique_ptr<TextBlock> Block(const std::string& text) {
        auto b = std::make_unique<TextBlock>();
        StoreField(b->text, kTextBlockWidth, text);
        return b;
    }
    int32_t Record(int ch, const std::string& name = "?") {
        auto b =
            Block("<?xml version=\"1.0\"?>\r\n<AmpClipType>\r\n\t<ClipName>" + name +
                  "</ClipName>\r\n\t<Chan>" + std::to_string(ch) + "</Chan>\r\n</AmpClipType>");
        return link->AmpCommand(amp::kRecord, RecordArg(b.get()), nullptr);
    }
    int32_t Document(int32_t code, int ch, std::string& text) {
        ChannelRequest r;
        r.channel = ch;
        auto out = std::make_unique<TextBlock>();
        int32_t rc = link->AmpCommand(code, RecordArg(&r), out.get());
        text = CleanText(std::string_view(out->text, kTextBlockWidth));
        return rc;
    }
};

}  // namespace tarvolen::testing
