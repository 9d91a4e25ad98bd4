// A deck of the HyperDeck Ethernet Protocol reduced to what the link's tests
// steer byte by byte: refusals, late and interleaved answers, silence,
// garbage, a second client refused.
#pragma once

#include <algorithm>
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/deck/protocol.h"
#include "platform/deck/server_codec.h"

namespace tarvolen::testing {

class FakeDeck {
  public:
    explicit FakeDeck(const std::string& address)
        : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address_v4(address), 0)) {
        Accept();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~FakeDeck() {
        asio::post(io_, [this] {
            acceptor_.close();
            if (auto s = session_.lock()) s->socket.close();
            timer_.cancel();
            io_.stop();
        });
        thread_.join();
    }
    uint16_t Port() const { return acceptor_.local_endpoint().port(); }

    // Commands received, one line each as "name: key: value ...".
    std::vector<std::string> Received() {
        std::lock_guard lock(mu_);
        return received_;
    }
    bool Got(const std::string& line) {
        for (auto& l : Received())
            if (l == line) return true;
        return false;
    }

    std::atomic<bool> silent{false};     // reads, answers nothing
    std::atomic<bool> rejecting{false};  // every new client gets 120
    // A failure code for the next commands of a name, and a delay before
    // answering a name.
    void Fail(const std::string& name, int code) {
        std::lock_guard lock(mu_);
        fail_[name] = code;
    }
    void Delay(const std::string& name, std::chrono::milliseconds d) {
        std::lock_guard lock(mu_);
        delay_[name] = d;
    }
    void SetRemote(bool enabled) { remote_ = enabled; }
    // Bytes sent to the client as they are, now.
    void Raw(std::string bytes) {
        asio::post(io_, [this, bytes = std::move(bytes)] { Write(bytes); });
    }
    int Sessions() const { return sessions_; }
    std::string videoFormat = "1080i50";

  private:
    struct Session {
        explicit Session(asio::io_context& io) : socket(io) {}
        asio::ip::tcp::socket socket;
        deck::CommandReader reader;
        std::array<char, 4096> buffer{};
    };

    void Accept() {
        auto s = std::make_shared<Session>(io_);
        acceptor_.async_accept(s->socket, [this, s](const asio::error_code& e) {
            if (e) return;
            if (rejecting) {
                asio::error_code ignored;
                asio::write(s->socket, asio::buffer(std::string("120 connection rejected\r\n")),
                            ignored);
                s->socket.close();
            } else {
                if (auto old = session_.lock()) old->socket.close();
                session_ = s;
                ++sessions_;
                queue_.clear();
                timer_.cancel();
                status_ = "stopped";
                Write(deck::FormatBlock(deck::kConnectionInfo,
                                        {{"protocol version", "1.11"}, {"model", "Fake"}}));
                Read(s);
            }
            Accept();
        });
    }

    void Read(std::shared_ptr<Session> s) {
        s->socket.async_read_some(
            asio::buffer(s->buffer), [this, s](const asio::error_code& e, std::size_t n) {
                if (e) return;
                s->reader.Feed(s->buffer.data(), n);
                deck::Command c;
                for (auto st = s->reader.Next(c); st != deck::CommandReader::Status::kNeedMore;
                     st = s->reader.Next(c)) {
                    if (st == deck::CommandReader::Status::kCommand) Answer(c);
                }
                Read(s);
            });
    }

    void Write(const std::string& bytes) {
        auto s = session_.lock();
        if (!s || !s->socket.is_open()) return;
        asio::error_code ignored;
        asio::write(s->socket, asio::buffer(bytes), ignored);
    }

    std::string Transport() {
        return deck::FormatBlock(deck::kTransportInfo, {{"status", status_},
                                                        {"speed", status_ == "play" ? "100" : "0"},
                                                        {"slot id", "1"},
                                                        {"display timecode", "10:00:00:00"},
                                                        {"timecode", "10:00:00:00"},
                                                        {"clip id", "2"},
                                                        {"video format", videoFormat},
                                                        {"loop", "false"}});
    }

    void Answer(const deck::Command& c) {
        std::string line = c.name;
        for (auto& p : c.params) line += ": " + p.key + ": " + p.value;
        std::chrono::milliseconds delay{0};
        int fail = 0;
        {
            std::lock_guard lock(mu_);
            received_.push_back(line);
            if (auto it = fail_.find(c.name); it != fail_.end()) fail = it->second;
            if (auto it = delay_.find(c.name); it != delay_.end()) delay = it->second;
        }
        if (silent) return;
        std::string reply;
        static const std::vector<std::string> kChanges = {"record",  "stop", "play",   "goto",
                                                          "shuttle", "jog",  "preview"};
        const bool change = std::find(kChanges.begin(), kChanges.end(), c.name) != kChanges.end();
        if (fail) {
            reply = deck::FormatReply(fail);
        } else if (change && !remote_) {
            reply = deck::FormatReply(deck::kRemoteControlDisabled);
        } else if (c.name == "transport info") {
            reply = Transport();
        } else if (c.name == "remote") {
            reply = deck::FormatBlock(deck::kRemoteInfo, {{"enabled", remote_ ? "true" : "false"},
                                                          {"override", "false"}});
        } else if (c.name == "clips get") {
            reply = deck::FormatLines(deck::kClipsInfo, "clips info",
                                      {"clip count: 2", "1: Morning show 01:00:00:00 00:00:10:00",
                                       "2: Evening 02:00:00:00 00:01:00:00"});
        } else if (c.name == "slot info") {
            reply = deck::FormatBlock(deck::kSlotInfo, {{"slot id", "1"},
                                                        {"status", "mounted"},
                                                        {"volume name", "SSD1"},
                                                        {"recording time", "3600"}});
        } else if (c.name == "configuration" && c.params.empty()) {
            reply = deck::FormatBlock(deck::kConfiguration, {{"audio input", "embedded"},
                                                             {"video input", "SDI"},
                                                             {"file format", "QuickTimeProRes"}});
        } else if (c.name == "disk list") {
            reply = deck::FormatLines(
                deck::kDiskList, "disk list",
                {"slot id: 1", "1: Morning show QuickTimeProRes 1080i50 00:00:10:00",
                 "2: Evening.mov QuickTimeProRes 1080i50 00:01:00:00"});
        } else {
            if (change) {
                status_ = c.name == "record" ? "record" : c.name == "play" ? "play" : "stopped";
                // The notification comes before the reply, as a deck may send it.
                reply = deck::FormatBlock(deck::kAsyncTransportInfo, {{"status", status_}});
            }
            reply += deck::FormatReply(deck::kOk);
        }
        // Answers keep their order, a late one holding up those behind it.
        auto due = std::chrono::steady_clock::now() + delay;
        if (!queue_.empty()) due = std::max(due, queue_.back().first);
        queue_.emplace_back(due, std::move(reply));
        if (queue_.size() == 1) Drain();
    }

    void Drain() {
        if (queue_.empty()) return;
        timer_.expires_at(queue_.front().first);
        timer_.async_wait([this](const asio::error_code& e) {
            if (e) return;
            Write(queue_.front().second);
            queue_.pop_front();
            Drain();
        });
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    std::thread thread_;
    std::weak_ptr<Session> session_;
    std::mutex mu_;
    std::vector<std::string> received_;
    std::map<std::string, int> fail_;
    std::map<std::string, std::chrono::milliseconds> delay_;
    std::atomic<bool> remote_{true};
    std::atomic<int> sessions_{0};
    // I/O thread only.
    std::string status_ = "stopped";
    std::deque<std::pair<std::chrono::steady_clock::time_point, std::string>> queue_;
    asio::steady_timer timer_{io_};
};

}  // namespace tarvolen::testing
