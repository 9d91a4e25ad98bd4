#include "device/sync_thread.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "device/amp_control.h"
#include "device/piamp.h"
#include "device/status.h"
#include "shell/settings.h"
#include "shell/toolkit.h"

namespace tarvolen {

cSyncThread::cSyncThread(cStatus& status, cAmpcontrol& amp, cSettings& settings)
    : status_(status), amp_(amp), settings_(settings) {}

cSyncThread::~cSyncThread() {
    SetKillThread(1);
    if (thread_.joinable()) thread_.join();
}

void cSyncThread::Launch(int32_t parameter) {
    if (thread_.joinable()) return;
    thread_ = std::thread([this, parameter] {
        pthread_setname_np(pthread_self(), "tarvolen-status");  // tells it apart in top and perf
        Run(parameter);
    });
}

bool cSyncThread::Pass() {
    if (suspend_.load() || !amp_.IsConnected()) return false;
    // Busy goes up before the suspend request is looked at again; the GUI
    // thread raises its request before it looks at busy.
    busy_.store(1);
    if (suspend_.load()) {
        busy_.store(0);
        return false;
    }
    // The pass's texts and its event reach the GUI thread together.
    struct HeldPosts {
        HeldPosts() { EZ_HOLDPOSTS(1); }
        ~HeldPosts() { EZ_HOLDPOSTS(0); }
        HeldPosts(const HeldPosts&) = delete;
        HeldPosts& operator=(const HeldPosts&) = delete;
    };
    std::optional<HeldPosts> held{std::in_place};
    bool changed = status_.PollStatus(0) != 0;
    ++pass_counter_;
    if (!suspend_.load() && settings_.TrackLines() >= 3) {
        if (pass_counter_ > 9) {
            if (status_.PollClipNames()) changed = true;
            pass_counter_ = 0;
        }
        if (++detail_counter_ > 10) {
            // Fetching file names waits on a recorder, a slow one for long:
            // what the pass found so far goes out first.
            held.reset();
            if (status_.FetchRecordFileNames()) changed = true;
            detail_counter_ = 0;
        }
    }
    busy_.store(0);
    if (changed) {
        if (wake_)
            wake_();
        else
            EZ_SENDTHREADEVENT("main", EZ_THREADEVENT_ID, 0);
    }
    if (pass_hook_) pass_hook_(changed);
    return true;
}

void cSyncThread::Run(int32_t) {
    using Clock = std::chrono::steady_clock;
    // Ten passes of the polling loop: how stale a clip or file name may be.
    constexpr auto kNamesEvery = std::chrono::milliseconds(300);
    constexpr auto kLongestStride = std::chrono::milliseconds(42);
    pass_counter_ = 0;
    Clock::time_point names_asked{}, pass_began{};
    const std::function<void()> poke = [waker = waker_] { waker->Poke(); };
    while (!kill_.load()) {
        // Whatever changes within these 30 ms reaches the window as one update.
        // Counted from the last pass's start, not its end: at a frame every
        // 33 ms a longer stride could let two of a recorder's frames fall
        // between passes, and one of them would never be shown.
        auto wake_at = pass_began + std::chrono::milliseconds(30);
        // Running timecodes move at their recorders' frames, not at ours: a
        // pass when they have all moved on one shows each frame of each in
        // one update, where a fixed stride splits some frames over two.
        // Never later than the slowest frame there is.
        if (const auto due = PIAMPNEXTPASS())
            wake_at = std::clamp(*due, wake_at, pass_began + kLongestStride);
        std::this_thread::sleep_until(wake_at);
        if (kill_.load()) break;
        // Asked each time, so a library installed meanwhile is heard too.
        if (PIAMPWATCHSTATUS(poke)) {
            // Passes come only with changes, so the names are asked by time:
            // a change's clip name may come after its pass, and no pass may
            // follow it.
            const bool owed =
                settings_.TrackLines() >= 3 && (pass_counter_ > 0 || detail_counter_ > 0);
            std::unique_lock lock(waker_->mu);
            auto ready = [this] {
                return kill_.load() || (waker_->due.load() && !suspend_.load());
            };
            if (owed)
                waker_->cv.wait_until(lock, names_asked + kNamesEvery, ready);
            else
                waker_->cv.wait(lock, ready);
            if (kill_.load()) break;
            if (Clock::now() - names_asked >= kNamesEvery) {
                pass_counter_ = 9;
                detail_counter_ = 10;
            }
        }
        waker_->due.store(false);
        pass_began = Clock::now();
        // A pass that could not talk to the device library leaves the
        // change to the next one.
        if (!Pass()) waker_->due.store(true);
        if (pass_counter_ == 0 && detail_counter_ == 0) names_asked = Clock::now();
    }
    PIAMPWATCHSTATUS({});
    dead_.store(1);
}

}  // namespace tarvolen
