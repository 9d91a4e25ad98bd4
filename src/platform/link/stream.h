// One TCP connection's bytes, shared by both links' connections: the dial,
// writes sent one batch at a time, reads handed to the connection. Every
// completion is tied to the dial that started it, so one of a socket since
// closed does nothing. I/O thread only.
//
// Derived provides bool Received(const char* data, std::size_t n) (false:
// nonsense, the connection is lost) and void Lost() (closes and schedules a
// new dial). Its handlers keep the connection alive while they are pending.
#pragma once

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <chrono>
#include <memory>
#include <string>

#include "platform/link/io_thread.h"

namespace tarvolen::link {

// Deadlines are rounded up to a grid shared by all connections of both
// links, so the pings of the whole bank go out in one wake-up.
inline constexpr std::chrono::milliseconds kGrid{25};

inline std::chrono::steady_clock::time_point OnGrid(std::chrono::steady_clock::time_point t) {
    using Clock = std::chrono::steady_clock;
    const Clock::duration since = t.time_since_epoch();
    return Clock::time_point((since + kGrid - Clock::duration(1)) / kGrid * kGrid);
}

template <class Derived>
class Stream : public std::enable_shared_from_this<Derived> {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Stream(IoThread& thread) : socket(thread.io), thread_(thread) {}

    asio::ip::tcp::socket socket;
    unsigned generation = 0;
    Clock::time_point lastHeard{}, lastSent{};
    Clock::time_point armedFor{};  // when the connection's timer was due

    // A timer woken far past its time means this side was held up itself (a
    // paused or starved machine): the silence it sees is partly its own, so
    // the other side gets a ping and an answer's time before it is judged.
    // Asked first in each check; true when held up.
    bool HeldUp(Clock::time_point now, Clock::duration lostAfter, Clock::duration answerTime) {
        if (now - armedFor <= lostAfter / 2) return false;
        listenUntil_ = now + answerTime;
        return true;
    }
    // Nothing heard for lostAfter, and no answer still owed the benefit of doubt.
    bool Silent(Clock::time_point now, Clock::duration lostAfter) const {
        return now - lastHeard > lostAfter && now >= listenUntil_;
    }
    // The first moment Silent can hold.
    Clock::time_point SilentFrom(Clock::duration lostAfter) const {
        return std::max(lastHeard + lostAfter + Clock::duration(1), listenUntil_);
    }

    // Forgets the old socket's bytes and completions; a new dial follows.
    void Reset() {
        ++generation;
        outgoing_.clear();
        inflight_.clear();
        writing_ = false;
    }

    void Connect(const asio::ip::address_v4& ip, uint16_t port) {
        socket = asio::ip::tcp::socket(thread_.io);
        auto self = this->shared_from_this();
        unsigned gen = generation;
        socket.async_connect(asio::ip::tcp::endpoint(ip, port),
                             [self, gen](const asio::error_code& e) {
                                 if (gen != self->generation) return;
                                 if (e) {
                                     self->Lost();
                                     return;
                                 }
                                 asio::error_code ignored;
                                 self->socket.set_option(asio::ip::tcp::no_delay(true), ignored);
                                 self->lastHeard = self->lastSent = Clock::now();
                                 self->Read(gen);
                             });
    }

    void CloseSocket(bool shutdown = false) {
        ++generation;
        asio::error_code ec;
        if (shutdown) socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
        socket.close(ec);
    }

    void SendBytes(const std::string& bytes) {
        outgoing_ += bytes;
        lastSent = Clock::now();
        if (!writing_) Flush();
    }

  private:
    void Flush() {
        if (outgoing_.empty()) return;
        writing_ = true;
        inflight_.swap(outgoing_);
        outgoing_.clear();
        auto self = this->shared_from_this();
        unsigned gen = generation;
        asio::async_write(socket, asio::buffer(inflight_),
                          [self, gen](const asio::error_code& e, std::size_t) {
                              if (gen != self->generation) return;
                              self->writing_ = false;
                              self->inflight_.clear();
                              if (e) {
                                  self->Lost();
                                  return;
                              }
                              self->Flush();
                          });
    }

    void Read(unsigned gen) {
        auto self = this->shared_from_this();
        socket.async_read_some(asio::buffer(buffer_),
                               [self, gen](const asio::error_code& e, std::size_t n) {
                                   if (gen != self->generation) return;
                                   if (e) {
                                       self->Lost();
                                       return;
                                   }
                                   self->lastHeard = Clock::now();
                                   if (!self->Received(self->buffer_.data(), n)) {
                                       if (gen == self->generation) self->Lost();
                                       return;
                                   }
                                   // What was received may have closed it.
                                   if (gen != self->generation) return;
                                   const bool parked = self->thread_.Park([self, gen] {
                                       if (gen == self->generation) self->Read(gen);
                                   });
                                   if (!parked) self->Read(gen);
                               });
    }

    IoThread& thread_;
    std::array<char, 16384> buffer_{};
    std::string outgoing_, inflight_;
    bool writing_ = false;
    Clock::time_point listenUntil_{};  // no loss before: this side was held up
};

}  // namespace tarvolen::link
