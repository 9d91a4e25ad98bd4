// The connections a link holds, by key: those in use, and those nobody uses
// any more, kept open a while (spares) so that a reconnect to the same
// recorder takes them back instead of dialling again. Guarded by the link's
// lock; Conn has usedByAmp, usedByDir, spare, spareUntil, Start() and
// Close(), the last two run on the I/O thread.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <map>
#include <memory>
#include <string>

namespace tarvolen::link {

template <class Conn>
struct Pool {
    std::map<std::string, std::shared_ptr<Conn>> live;
    std::map<std::string, std::shared_ptr<Conn>> spares;

    // The connection of key: in use, a spare taken back, or a new one made
    // by make() and started.
    template <class Make>
    std::shared_ptr<Conn> Open(asio::io_context& io, const std::string& key, Make make) {
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
        asio::post(io, [c] { c->Start(); });
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

    void CloseAll(asio::io_context& io) {
        for (auto* set : {&live, &spares})
            for (auto& [k, c] : *set) asio::post(io, [c = c] { c->Close(); });
        live.clear();
        spares.clear();
    }
};

}  // namespace tarvolen::link
