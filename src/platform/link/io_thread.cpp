#include "platform/link/io_thread.h"

#include <pthread.h>

#include <algorithm>
#include <memory>

namespace tarvolen::link {

IoThread::IoThread(const char* name, std::chrono::milliseconds pace)
    : pace_(pace), paced_(pace.count() > 0) {
    work_.emplace(io.get_executor());
    thread_ = std::thread([this, name] {
        pthread_setname_np(pthread_self(), name);
        Run();
    });
}

IoThread::~IoThread() {
    Stop();
}

void IoThread::Run() {
    if (!paced_) {
        io.run();
        return;
    }
    while (!io.stopped()) {
        bool pacing;
        {
            std::lock_guard lock(m_);
            pacing = pacing_;
        }
        if (!pacing) {
            news_ = false;
            if (io.run_one() == 0) break;
            // What became ready with it (a bank's timers, the answers of one
            // round) is handled before the thread decides how to wait.
            io.poll();
            if (news_ || due_ > 0) {
                std::lock_guard lock(m_);
                pacing_ = hurry_ == 0;
                pacing = pacing_;
            }
            if (!pacing) Resume();
            continue;
        }
        {
            std::unique_lock lock(m_);
            const Clock::time_point from = Clock::now();
            for (;;) {
                // A drain reading meanwhile has the news; its read is waited out.
                if (!reading_ &&
                    (queued_ > 0 || hurry_ > 0 || !pacing_ || Clock::now() >= NextRead(from)))
                    break;
                if (reading_) {
                    awaitingRead_ = true;
                    cv_.wait(lock);
                    awaitingRead_ = false;
                } else {
                    cv_.wait_until(lock, NextRead(from));
                }
            }
            // A drain that found no news left the thread to read on arrival.
            if (!pacing_) continue;
            reading_ = true;
        }
        ReadAll();
    }
    parked_.clear();
}

void IoThread::ReadAll() {
    news_ = false;
    // What is due now is read now; later answers come as they come.
    due_ = 0;
    Resume();
    io.poll();
    bool pacing;
    {
        std::lock_guard lock(m_);
        // While drains come, the next one reads whatever arrives until then.
        pacing = (news_ || due_ > 0 || Drained(Clock::now())) && hurry_ == 0;
    }
    // Reading on arrival again: the parked reads are armed before the I/O
    // thread waits on them.
    if (!pacing) Resume();
    bool wanted;
    {
        std::lock_guard lock(m_);
        pacing_ = pacing;
        lastRead_ = Clock::now();
        reading_ = false;
        // Only a thread that has something to do is woken: one woken after
        // each drain would wake as often as if it read for them.
        wanted = awaitingRead_ || !pacing_ || queued_ > 0 || hurry_ > 0;
    }
    if (wanted) cv_.notify_all();
}

bool IoThread::Park(std::function<void()> resume) {
    // Only the reader changes pacing_, so it may read it unlocked; news
    // handled in this read turns pacing on when the read ends.
    if (!paced_ || (!pacing_ && !news_)) return false;
    parked_.push_back(std::move(resume));
    return true;
}

void IoThread::Resume() {
    std::vector<std::function<void()>> parked;
    parked.swap(parked_);
    for (auto& resume : parked) resume();
}

bool IoThread::Drained(Clock::time_point now) const {
    return polled_ && now - lastDrain_ < kLapse;
}

IoThread::Clock::time_point IoThread::NextRead(Clock::time_point from) const {
    // The drains read while they come; the thread only looks whether they
    // still do.
    if (Drained(from)) return lastDrain_ + kLapse;
    return from + pace_;
}

void IoThread::Kick() {
    if (!paced_) return;
    {
        std::lock_guard lock(m_);
        if (!pacing_) return;
    }
    cv_.notify_all();
}

void IoThread::Hurry(int delta) {
    if (!paced_) return;
    {
        std::lock_guard lock(m_);
        hurry_ += delta;
        if (delta < 0 || !pacing_) return;
    }
    cv_.notify_all();
}

void IoThread::Polled(bool polled) {
    if (!paced_) return;
    {
        std::lock_guard lock(m_);
        if (polled_ == polled) return;
        polled_ = polled;
        if (polled) return;
    }
    cv_.notify_all();
}

void IoThread::Drain() {
    if (!paced_ || std::this_thread::get_id() == thread_.get_id()) return;
    {
        std::unique_lock lock(m_);
        const Clock::time_point now = Clock::now();
        // The first drain of a poll: the thread waits for them from now on.
        if (!Drained(now) && polled_) cv_.notify_all();
        lastDrain_ = now;
        if (!pacing_) return;
        // A read under way or just done serves it: what that read has not
        // handled yet shows at the next pass, and a frame later comes after it.
        if (reading_ || now - lastRead_ <= kFresh) return;
        reading_ = true;
    }
    // Read here: waking the I/O thread to read and waiting for it would cost
    // both threads a wake-up each time.
    ReadAll();
}

void IoThread::Stop() {
    if (!thread_.joinable()) return;
    work_.reset();
    Post([this] {
        auto t = std::make_shared<asio::steady_timer>(io, std::chrono::milliseconds(20));
        t->async_wait([this, t](const asio::error_code&) { io.stop(); });
    });
    thread_.join();
}

}  // namespace tarvolen::link
