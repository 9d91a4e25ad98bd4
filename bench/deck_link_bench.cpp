// Figures for the deck link behind the router, against emulated decks and
// recorders on loopback: status (code 30) of 24 deck channels, group Record
// over 20 of our recorders and 4 decks beside 24 of our own at answer delays
// of 0, 5 and 50 ms, and a deck silent for 5 s.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/amp_control.h"
#include "device/device_router.h"
#include "device/records.h"
#include "platform/deck_link/deck_link.h"
#include "platform/recorder_link/recorder_link.h"
#include "recorder/bank.h"
#include "shell/settings.h"
#include "shell/text.h"

using namespace tarvolen;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int kChannels = 24;

double Us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// A bank with `decks` of the 24 addresses (the last ones) answering as decks,
// both links behind a router, channel i on address i.
struct Rig {
    std::vector<std::string> addresses;
    int decks;
    std::unique_ptr<recorder::Bank> bank;
    std::shared_ptr<link::RecorderLink> ours;
    std::shared_ptr<decklink::DeckLink> deckLink;
    std::shared_ptr<DeviceRouter> router;
    std::shared_ptr<DeviceLibrary> amp;

    Rig(int third, int deckCount) : decks(deckCount) {
        recorder::BankOptions o;
        for (int i = 0; i < kChannels; ++i) {
            std::string a = "127.9." + std::to_string(third) + "." + std::to_string(i + 1);
            addresses.push_back(a);
            (IsDeck(i) ? o.deckAddresses : o.addresses).push_back(a);
        }
        o.port = 0;
        o.deckPort = 0;
        bank = std::make_unique<recorder::Bank>(o);
        std::string error;
        if (!bank->Start(error)) {
            std::fprintf(stderr, "bank: %s\n", error.c_str());
            std::exit(1);
        }
        link::LinkOptions lo;
        lo.port = bank->Port();
        ours = std::make_shared<link::RecorderLink>(lo);
        decklink::DeckLinkOptions dopt;
        const int32_t deckPort = bank->DeckPort();
        dopt.portOf = [deckPort](int32_t) { return deckPort; };
        deckLink = std::make_shared<decklink::DeckLink>(dopt);
        router = std::make_shared<DeviceRouter>(
            DeviceRouter::Libraries{ours->AmpLibrary(), ours->ClipDirLibrary()},
            DeviceRouter::Libraries{deckLink->AmpLibrary(), deckLink->ClipDirLibrary()},
            [this](int32_t ch) { return IsDeck(ch) ? kProtocolDeck : kProtocolOurs; });
        amp = router->AmpLibrary();
        ConnectTable t{};
        for (int ch = 0; ch < kChannels; ++ch) {
            t.shown[ch] = 1;
            t.internalChannel[ch] = 1;
            StoreField(t.address[ch], kAddressWidth, addresses[static_cast<std::size_t>(ch)]);
        }
        amp->Command(amp::kConnect, RecordArg(&t), &t);
        for (int ch = 0; ch < kChannels; ++ch) WaitState(ch, "Stop");
    }
    bool IsDeck(int ch) const { return ch >= kChannels - decks; }
    std::string State(int ch) {
        StatusTable t{};
        amp->Command(amp::kStatus, 0, &t);
        return ReadField(t.entry[ch].state, sizeof t.entry[ch].state);
    }
    void WaitState(int ch, const std::string& word) {
        auto end = Clock::now() + 10s;
        while (State(ch) != word && Clock::now() < end) std::this_thread::sleep_for(2ms);
    }
};

void StatusOfDecks() {
    Rig rig(40, kChannels);
    for (bool recording : {false, true}) {
        if (recording) {
            for (int ch = 0; ch < kChannels; ++ch) {
                auto b = std::make_unique<TextBlock>();
                StoreField(b->text, kTextBlockWidth, ClipNameDocument("?", ch));
                rig.amp->Command(amp::kRecord, RecordArg(b.get()), nullptr);
            }
        }
        std::vector<double> us;
        StatusTable t{};
        for (int i = 0; i < 20000; ++i) {
            auto a = Clock::now();
            rig.amp->Command(amp::kStatus, 0, &t);
            us.push_back(Us(Clock::now() - a));
            if (i % 100 == 0) std::this_thread::sleep_for(1ms);
        }
        std::sort(us.begin(), us.end());
        std::printf(
            "code 30 on 24 deck channels (%s): median %.1f us, p99 %.1f us, worst %.1f us "
            "(%zu calls)\n",
            recording ? "recording, timecodes polled" : "idle", us[us.size() / 2],
            us[us.size() * 99 / 100], us.back(), us.size());
    }
}

// Group Record as one batch through the router; the spread of its arrival
// at the recorders and decks (the kernel's time plus the emulated delay).
void Spread(int decks, int third) {
    Rig rig(third, decks);
    constexpr int kRounds = 7;
    for (auto delay : {0ms, 5ms, 50ms}) {
        std::vector<double> reached, done;
        int worstOk = kChannels;
        for (int round = 0; round < kRounds; ++round) {
            for (const auto& a : rig.addresses) rig.bank->SetDelay(a, delay);
            std::vector<std::unique_ptr<TextBlock>> blocks;
            std::vector<DeviceCall> calls;
            for (int ch = 0; ch < kChannels; ++ch) {
                blocks.push_back(std::make_unique<TextBlock>());
                StoreField(blocks.back()->text, kTextBlockWidth, ClipNameDocument("?", ch));
                calls.push_back({amp::kRecord, RecordArg(blocks.back().get()), nullptr, 0});
            }
            const std::size_t from = rig.bank->Journal().size();
            rig.amp->Commands(calls);
            int ok = 0;
            for (auto& c : calls) ok += c.result == 0;
            worstOk = std::min(worstOk, ok);
            std::this_thread::sleep_for(delay + 100ms);
            auto journal = rig.bank->Journal();
            int64_t first = INT64_MAX, last = INT64_MIN, firstDone = INT64_MAX,
                    lastDone = INT64_MIN;
            for (std::size_t i = from; i < journal.size(); ++i) {
                const auto& e = journal[i];
                if ((e.request != "RECORD" && e.request != "record") || e.outcome != "ok") continue;
                first = std::min(first, e.received);
                last = std::max(last, e.received);
                firstDone = std::min(firstDone, e.micros);
                lastDone = std::max(lastDone, e.micros);
            }
            reached.push_back(static_cast<double>(last - first) / 1000);
            done.push_back(static_cast<double>(lastDone - firstDone) / 1000);
            for (const auto& a : rig.addresses) rig.bank->SetDelay(a, 0ms);
            for (int ch = 0; ch < kChannels; ++ch) {
                ChannelRequest r;
                r.channel = ch;
                rig.amp->Command(amp::kStop, RecordArg(&r), nullptr);
            }
            for (int ch = 0; ch < kChannels; ++ch) rig.WaitState(ch, "Stop");
        }
        std::sort(reached.begin(), reached.end());
        std::sort(done.begin(), done.end());
        std::printf(
            "Record on %d recorders + %d decks, answer delay %2lld ms: spread of arrival "
            "median %.3f ms (worst %.3f), carried out median %.3f ms (worst %.3f); at "
            "least %d/24 answered OK (%d rounds)\n",
            kChannels - decks, decks, static_cast<long long>(delay.count()), reached[kRounds / 2],
            reached.back(), done[kRounds / 2], done.back(), worstOk, kRounds);
    }
}

void SilentDeck() {
    Rig rig(42, 4);
    const int ch = 22;
    auto start = Clock::now();
    rig.bank->SetSilent(rig.addresses[ch], true);
    rig.WaitState(ch, "Los");
    auto lost = Clock::now();
    std::this_thread::sleep_until(start + 5s);
    auto spoke = Clock::now();
    rig.bank->SetSilent(rig.addresses[ch], false);
    rig.WaitState(ch, "Stop");
    auto back = Clock::now();
    std::printf("deck silent for 5 s: \"Los\" after %.0f ms, \"Stop\" %.0f ms after it spoke\n",
                Us(lost - start) / 1000, Us(back - spoke) / 1000);
}

}  // namespace

int main() {
    StatusOfDecks();
    Spread(0, 43);
    Spread(4, 44);
    SilentDeck();
    return 0;
}
