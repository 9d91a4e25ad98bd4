#include "recorder/bank.h"

#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "recorder/bank_impl.h"

namespace tarvolen::recorder {
namespace {

constexpr std::size_t kMaxLoops = 4;  // I/O threads of a bank, at most one per core

int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string JsonText(std::string_view s) {
    std::string out = "\"";
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c < 0x20 || c >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.push_back(ch);
        }
    }
    return out + "\"";
}

std::string IsoTime(int64_t micros) {
    std::time_t secs = static_cast<std::time_t>(micros / 1000000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(micros % 1000000));
    return buf;
}

}  // namespace

Bank::Impl::Impl(BankOptions o) : options(std::move(o)), model(options.rate, options.stateDir) {
    all = options.addresses;
    for (const auto& a : options.deckAddresses)
        if (std::find(all.begin(), all.end(), a) == all.end()) all.push_back(a);
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::size_t count =
        std::min<std::size_t>({cores, kMaxLoops, std::max<std::size_t>(all.size(), 1)});
    for (std::size_t k = 0; k < count; ++k) loops.push_back(std::make_unique<Loop>());
}

Recorder* Bank::Impl::Find(const std::string& address) {
    for (auto& r : recorders)
        if (r->address == address) return r.get();
    return nullptr;
}

void Bank::Impl::Journal(const Recorder& r, int channel, std::string request, std::string outcome,
                         std::string detail, int64_t received, bool deck) {
    JournalEntry e{NowMicros(),        r.address,         channel,  std::move(request),
                   std::move(outcome), std::move(detail), received, deck};
    std::lock_guard lock(journalMutex);
    if (journalFile) {
        std::string line =
            "{\"time\":" + JsonText(IsoTime(e.micros)) + ",\"us\":" + std::to_string(e.micros) +
            ",\"address\":" + JsonText(e.address) + ",\"channel\":" + std::to_string(e.channel) +
            ",\"request\":" + JsonText(e.request) + ",\"outcome\":" + JsonText(e.outcome);
        if (!e.detail.empty()) line += ",\"detail\":" + JsonText(e.detail);
        if (e.received != 0) line += ",\"received_us\":" + std::to_string(e.received);
        if (e.deck) line += ",\"protocol\":\"deck\"";
        line += "}\n";
        std::fwrite(line.data(), 1, line.size(), journalFile);
        std::fflush(journalFile);
    }
    journal.push_back(std::move(e));
    if (journal.size() > 200000) journal.pop_front();
}

// --- Bank ------------------------------------------------------------------

Bank::Bank(BankOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Bank::~Bank() {
    Stop();
}

bool Bank::Start(std::string& error) {
    Impl& m = *impl_;
    if (m.running) return true;
    if (m.all.empty()) {
        error = "no recorder addresses";
        return false;
    }
    if (m.options.deckClients < 1) {
        error = "deck clients must be 1 or more";
        return false;
    }
    if (m.options.channels < 1 || m.options.channels > 4) {
        error = "channels must be 1 to 4";
        return false;
    }
    for (const auto& a : m.all) {
        asio::error_code ec;
        auto addr = asio::ip::make_address_v4(a, ec);
        if (ec) {
            error = a + ": not an IPv4 address";
            return false;
        }
        if (!addr.is_loopback() && !m.options.allowAnyAddress) {
            error = a + ": not a loopback address (use --allow-any-address)";
            return false;
        }
    }
    if (!m.options.journalPath.empty()) {
        m.journalFile = std::fopen(m.options.journalPath.c_str(), "a");
        if (!m.journalFile) {
            error = m.options.journalPath + ": cannot open journal";
            return false;
        }
    }
    if (!m.options.stateDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(m.options.stateDir, ec);
    }
    m.recorders.clear();
    auto listed = [](const std::vector<std::string>& list, const std::string& a) {
        return std::find(list.begin(), list.end(), a) != list.end();
    };
    for (const auto& a : m.all) {
        auto& loop = *m.loops[m.recorders.size() % m.loops.size()];
        auto r = std::make_unique<Recorder>(a, loop.io);
        r->ours = listed(m.options.addresses, a);
        r->deck = listed(m.options.deckAddresses, a);
        m.model.LoadState(*r);
        m.recorders.push_back(std::move(r));
    }
    for (const auto& fs : m.options.faults) {
        for (auto& r : m.recorders) {
            if (fs.address != "all" && fs.address != r->address) continue;
            Faults& f = r->faults;
            int v = std::atoi(fs.arg.c_str());
            using ms = std::chrono::milliseconds;
            if (fs.kind == "silent") {
                f.silent = true;
            } else if (fs.kind == "mute") {
                f.mute = true;
            } else if (fs.kind == "delay") {
                // delay:MS every request; delay:MS:VERB+VERB only those, out of turn.
                std::size_t colon = fs.arg.find(':');
                ms d(v > 0 ? v : 300);
                if (colon == std::string::npos) {
                    f.latencyMin = f.latencyMax = d;
                } else {
                    std::string verbs = fs.arg.substr(colon + 1);
                    for (std::size_t a = 0; a <= verbs.size();) {
                        std::size_t plus = verbs.find('+', a);
                        if (plus == std::string::npos) plus = verbs.size();
                        if (plus > a) f.slowVerbs[verbs.substr(a, plus - a)] = d;
                        a = plus + 1;
                    }
                }
            } else if (fs.kind == "latency") {
                std::size_t dash = fs.arg.find('-');
                int hi = dash == std::string::npos ? v : std::atoi(fs.arg.c_str() + dash + 1);
                f.latencyMin = ms(std::max(v, 0));
                f.latencyMax = ms(std::max(hi, std::max(v, 0)));
            } else if (fs.kind == "garble") {
                f.garbleEvery = v > 0 ? v : 100;
            } else if (fs.kind == "drop") {
                f.dropEvery = ms(v > 0 ? v : 5000);
            } else if (fs.kind == "cut") {
                f.cutEvery = ms(v > 0 ? v : 5000);
            } else if (fs.kind == "oversize") {
                f.oversizeEvery = ms(v > 0 ? v : 5000);
            } else if (fs.kind == "refuse") {
                f.refused.insert(fs.arg.empty() ? "*" : fs.arg);
            } else if (fs.kind == "diskfull") {
                r->deckState.disk = DiskState::kFull;
            } else if (fs.kind == "nodisk") {
                r->deckState.disk = DiskState::kMissing;
            }
        }
    }
    // A whole bank shares one port and all decks another; with 0 find one
    // that is free on every address.
    bool opened = false;
    for (int attempt = 0; attempt < 50 && !opened; ++attempt) {
        uint16_t port = m.options.port, deckPort = m.options.deckPort;
        opened = true;
        for (auto& r : m.recorders) {
            if (!m.OpenRecorder(*r, port, deckPort, error)) {
                opened = false;
                break;
            }
            if (port == 0 && r->acceptor) port = r->acceptor->local_endpoint().port();
            if (deckPort == 0 && r->deckAcceptor)
                deckPort = r->deckAcceptor->local_endpoint().port();
        }
        if (opened) {
            m.port = port;
            m.deckPort = deckPort;
        } else {
            for (auto& r : m.recorders) {
                r->acceptor.reset();
                r->deckAcceptor.reset();
                r->running = false;
            }
            if (m.options.port != 0 && m.options.deckPort != 0) break;
        }
    }
    if (!opened) return false;
    for (auto& r : m.recorders) {
        r->ticker.expires_after(kTick);
        m.StartTicking(*r);
    }
    for (auto& loop : m.loops) {
        loop->work.emplace(loop->io.get_executor());
        loop->io.restart();
        loop->thread = std::thread([&io = loop->io] {
            pthread_setname_np(pthread_self(), "recorder-bank");  // tells it apart in top and perf
            io.run();
        });
    }
    m.running = true;
    return true;
}

void Bank::Stop() {
    Impl& m = *impl_;
    if (!m.running) return;
    for (auto& r : m.recorders) {
        m.On(*r, [&m, &r] {
            m.CloseRecorder(*r);
            r->ticker.cancel();
        });
    }
    for (auto& loop : m.loops) {
        loop->work.reset();
        loop->io.stop();
        loop->thread.join();
    }
    m.running = false;
    std::lock_guard lock(m.journalMutex);
    if (m.journalFile) std::fclose(m.journalFile);
    m.journalFile = nullptr;
}

uint16_t Bank::Port() const {
    return impl_->port;
}
uint16_t Bank::DeckPort() const {
    return impl_->deckPort;
}
const std::vector<std::string>& Bank::Addresses() const {
    return impl_->all;
}

bool Bank::StopRecorder(const std::string& address) {
    return impl_->Call(address, [&](Recorder* r) {
        if (!r || !r->running) return false;
        impl_->CloseRecorder(*r);
        impl_->Journal(*r, 0, "stop", "ok");
        return true;
    });
}

bool Bank::StartRecorder(const std::string& address) {
    return impl_->Call(address, [&](Recorder* r) {
        if (!r) return false;
        if (r->running) return true;
        std::string error;
        return impl_->OpenRecorder(*r, impl_->port, impl_->deckPort, error);
    });
}

void Bank::SetSilent(const std::string& address, bool silent) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            r->faults.silent = silent;
            // Whoever watches gets the whole picture again when it speaks again.
            for (auto& c : r->channels) c.sentAny = false;
        }
    });
}

void Bank::SetDelay(const std::string& address, std::chrono::milliseconds delay) {
    SetLatency(address, delay, delay);
}

void Bank::SetLatency(const std::string& address, std::chrono::milliseconds min,
                      std::chrono::milliseconds max) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            r->faults.latencyMin = min;
            r->faults.latencyMax = std::max(min, max);
        }
    });
}

void Bank::SetSlow(const std::string& address, const std::string& verb,
                   std::chrono::milliseconds delay) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            if (delay.count() > 0)
                r->faults.slowVerbs[verb] = delay;
            else
                r->faults.slowVerbs.erase(verb);
        }
    });
}

void Bank::SetMute(const std::string& address, bool mute) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            r->faults.mute = mute;
            for (auto& c : r->channels) c.sentAny = false;
        }
    });
}

void Bank::CutConnections(const std::string& address) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) impl_->CutSessions(*r);
    });
}

void Bank::SendOversize(const std::string& address) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) impl_->SendOversize(*r);
    });
}

bool Bank::AddClips(const std::string& address, int count) {
    return impl_->Call(address, [&](Recorder* r) {
        if (!r || count < 0) return false;
        int64_t hour = 0;
        TimecodeToFrames("01:00:00;00", impl_->model.rate(), hour);
        r->clips.reserve(r->clips.size() + static_cast<std::size_t>(count));
        for (int k = 0; k < count; ++k) {
            Clip c;
            char name[32];
            std::snprintf(name, sizeof name, "Seed_%06d", ++r->clipCounter);
            c.name = name;
            c.guid = Model::NewGuid(*r);
            c.dateTime = "2024-05-01 12:00:00";
            c.start = hour;
            c.duration = 300;
            c.channel = 1;
            c.format = 10;
            c.codec = 144;
            c.compression = 220;
            Model::AddClip(*r, std::move(c));
        }
        return true;
    });
}

void Bank::GarbleNext(const std::string& address, int frames) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) r->faults.garbleNext += frames;
    });
}

void Bank::DropConnections(const std::string& address) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) impl_->CloseSessions(*r);
    });
}

void Bank::Refuse(const std::string& address, const std::string& verb, bool on) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            if (on)
                r->faults.refused.insert(verb);
            else
                r->faults.refused.erase(verb);
        }
    });
}

void Bank::SendRaw(const std::string& address, std::string bytes) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            auto sessions = r->sessions;
            for (const auto& s : sessions) s->SendRawBytes(bytes);
        }
    });
}

void Bank::SetDisk(const std::string& address, DiskState state) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            r->deckState.disk = state;
            impl_->DeckNotify(*r, Clock::now());
        }
    });
}

void Bank::ClearFaults(const std::string& address) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            r->faults = Faults{};
            for (auto& c : r->channels) c.sentAny = false;
        }
    });
}

std::optional<ChannelView> Bank::Channel(const std::string& address, int channel) {
    return impl_->Call(address, [&](Recorder* r) -> std::optional<ChannelView> {
        if (!r || channel < 1 || channel > static_cast<int>(r->channels.size()))
            return std::nullopt;
        auto now = Clock::now();
        ChannelState& c = r->channels[static_cast<std::size_t>(channel - 1)];
        impl_->model.Advance(*r, c, now);
        return ChannelView{c.word, impl_->model.TimecodeOf(c, now), c.mode, c.clip};
    });
}

std::vector<ClipView> Bank::Clips(const std::string& address) {
    return impl_->Call(address, [&](Recorder* r) {
        std::vector<ClipView> out;
        if (!r) return out;
        for (const auto& c : r->clips) {
            ClipView v;
            v.name = c.name;
            v.guid = c.guid;
            v.dateTime = c.dateTime;
            v.start = FramesToTimecode(c.start, impl_->model.rate());
            v.duration = FramesToTimecode(c.duration, impl_->model.rate());
            v.channel = c.channel;
            v.format = c.format;
            v.codec = c.codec;
            v.compression = c.compression;
            v.recording = c.recording;
            v.filesA = c.filesA;
            v.filesB = c.filesB;
            out.push_back(std::move(v));
        }
        return out;
    });
}

std::vector<JournalEntry> Bank::Journal() const {
    std::lock_guard lock(impl_->journalMutex);
    return {impl_->journal.begin(), impl_->journal.end()};
}

int Bank::Sessions(const std::string& address) {
    return impl_->Call(address,
                       [&](Recorder* r) { return r ? static_cast<int>(r->sessions.size()) : 0; });
}

}  // namespace tarvolen::recorder
