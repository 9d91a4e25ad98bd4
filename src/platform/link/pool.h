// The connections a link holds, by key: those in use, and those nobody uses
// any more, kept open a while (spares) so that a reconnect to the same
// recorder takes them back instead of dialling again. Guarded by the link's
// lock; Conn has usedByAmp, usedByDir, spare, spareUntil, Start() and
// Close(), the last two run on the I/O thread.
#pragma once

#include <array>
#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "device/records.h"
#include "platform/link/io_thread.h"
#include "shell/text.h"

namespace tarvolen::link {

template <class Conn>
struct Pool {
    std::map<std::string, std::shared_ptr<Conn>> live;
    std::map<std::string, std::shared_ptr<Conn>> spares;

    // The connection of key: in use, a spare taken back, or a new one made
    // by make() and started.
    template <class Make>
    std::shared_ptr<Conn> Open(IoThread& io, const std::string& key, Make make) {
        if (auto it = live.find(key); it != live.end()) return it->second;
        if (auto it = spares.find(key); it != spares.end()) {
            auto c = it->second;
            spares.erase(it);
            c->spare = false;
            live[key] = c;
            return c;
        }
        std::shared_ptr<Conn> c = make();
        live[key] = c;
        io.Post([c] { c->Start(); });
        return c;
    }

    // Those no call uses become spares until linger is over; dropped(c) each.
    template <class Dropped>
    void DropUnused(std::chrono::steady_clock::duration linger, Dropped dropped) {
        const auto until = std::chrono::steady_clock::now() + linger;
        for (auto it = live.begin(); it != live.end();) {
            if (!it->second->usedByAmp && !it->second->usedByDir) {
                auto c = it->second;
                c->spare = true;
                c->spareUntil = until;
                spares[it->first] = c;
                dropped(*c);
                it = live.erase(it);
            } else {
                ++it;
            }
        }
    }

    // True when c is a spare whose time is over; it is then out of the pool
    // and its caller closes it.
    bool SpareExpired(const std::string& key, const Conn& c,
                      std::chrono::steady_clock::time_point now) {
        if (!c.spare || now <= c.spareUntil) return false;
        auto it = spares.find(key);
        if (it != spares.end() && it->second.get() == &c) spares.erase(it);
        return true;
    }

    void CloseAll(IoThread& io) {
        for (auto* set : {&live, &spares})
            for (auto& [k, c] : *set) io.Post([c = c] { c->Close(); });
        live.clear();
        spares.clear();
    }
};

// Where a channel's requests go: the connection of key, its internal channel.
struct Route {
    bool mapped = false;
    std::string key;
    int internal = 0;
};
using Routes = std::array<Route, kDeviceChannels>;

// Code 1: each shown channel whose address usable() takes and whose internal
// channel is 1-4 goes to the connection of key(ch, address), the others
// nowhere; open(key) gives the connection.
template <class Conn, class Usable, class Key, class OpenFn>
void RouteChannels(Pool<Conn>& pool, Routes& routes, const ConnectTable& table, Usable usable,
                   Key key, OpenFn open) {
    for (auto& [k, c] : pool.live) c->usedByAmp = false;
    for (int ch = 0; ch < kDeviceChannels; ++ch) {
        Route& r = routes[static_cast<std::size_t>(ch)];
        r = Route{};
        std::string address = ReadField(table.address[ch], kAddressWidth);
        int internal = table.internalChannel[ch];
        if (!table.shown[ch] || !usable(address) || internal < 1 || internal > 4) continue;
        r.mapped = true;
        r.key = key(ch, address);
        r.internal = internal;
        open(r.key)->usedByAmp = true;
    }
}

// Code 2: no channel goes anywhere.
template <class Conn>
void Unroute(Pool<Conn>& pool, Routes& routes) {
    for (auto& r : routes) r = Route{};
    for (auto& [k, c] : pool.live) c->usedByAmp = false;
}

// Code 85: channel ch to key's connection; false when it already went there.
inline bool Reroute(Routes& routes, int ch, const std::string& key, int internal) {
    Route& r = routes[static_cast<std::size_t>(ch)];
    if (r.mapped && r.key == key && r.internal == internal) return false;
    r.mapped = true;
    r.key = key;
    r.internal = internal;
    return true;
}

// A short wait after code 1, so the first status poll shows the recorders'
// own states; one that greets later comes up in the background.
template <class Conn>
void AwaitSetUp(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, Pool<Conn>& pool,
                std::chrono::steady_clock::duration wait) {
    cv.wait_until(lk, std::chrono::steady_clock::now() + wait, [&] {
        for (auto& [k, c] : pool.live)
            if (c->phase == Conn::Phase::kSettingUp) return false;
        return true;
    });
}

}  // namespace tarvolen::link
