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
            if (news_) {
                std::lock_guard lock(m_);
                pacing_ = hurry_ == 0;
                pacing = pacing_;
            }
            if (!pacing) Resume();
            continue;
        }
        std::uint64_t asked = 0;
        {
            std::unique_lock lock(m_);
            cv_.wait_until(lock, NextRead(Clock::now()),
                           [&] { return kicked_ || hurry_ > 0 || drainsAsked_ > drainsDone_; });
            kicked_ = false;
            asked = drainsAsked_;
            reading_ = true;
        }
        news_ = false;
        Resume();
        io.poll();
        {
            std::lock_guard lock(m_);
            lastRead_ = Clock::now();
            reading_ = false;
            drainsDone_ = asked;
            pacing_ = news_ && hurry_ == 0;
            pacing = pacing_;
            // Reading on arrival again: nothing is left for a drain to wait on.
            if (!pacing_) drainsDone_ = drainsAsked_;
        }
        cv_.notify_all();
        if (!pacing) Resume();
    }
    parked_.clear();
}

bool IoThread::Park(std::function<void()> resume) {
    // Only this thread changes pacing_, so it may read it unlocked; news
    // handled in this run turns pacing on when the run ends.
    if (!paced_ || (!pacing_ && !news_)) return false;
    parked_.push_back(std::move(resume));
    return true;
}

void IoThread::Resume() {
    std::vector<std::function<void()>> parked;
    parked.swap(parked_);
    for (auto& resume : parked) resume();
}

IoThread::Clock::time_point IoThread::NextRead(Clock::time_point now) const {
    // While the status passes come, just before the next one: the news
    // waits no longer than it would for the pass anyway.
    if (drainEvery_ > Clock::duration::zero() && now - lastDrain_ < 2 * drainEvery_) {
        Clock::time_point next = lastDrain_ + drainEvery_ - kLead;
        if (next <= lastRead_) next += ((lastRead_ - next) / drainEvery_ + 1) * drainEvery_;
        return next;
    }
    return now + pace_;
}

void IoThread::Kick() {
    if (!paced_) return;
    {
        std::lock_guard lock(m_);
        if (!pacing_) return;
        kicked_ = true;
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

void IoThread::Drain() {
    if (!paced_ || std::this_thread::get_id() == thread_.get_id()) return;
    std::unique_lock lock(m_);
    if (!pacing_) return;
    const Clock::time_point now = Clock::now();
    // A drain out of turn (a command's own status poll) keeps the cadence.
    const Clock::duration since = now - lastDrain_;
    if (since >= kMinEvery) drainEvery_ = since < kMaxEvery ? since : Clock::duration::zero();
    lastDrain_ = now;
    // A read under way or just done serves it: what that read has not
    // handled yet shows at the next pass, and a frame later comes after it.
    if (reading_ || now - lastRead_ <= kFresh) return;
    const std::uint64_t ticket = ++drainsAsked_;
    cv_.notify_all();
    cv_.wait_for(lock, kDrainBound, [&] { return drainsDone_ >= ticket; });
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
