// The status polling thread: about every 30 ms it asks the device library for
// the state and timecode of every channel, every tenth pass for the clip
// names and every eleventh for the file names being recorded, and wakes the
// main window when something changed.
//
// With a device library that says when its answers change, a pass runs only
// after a change (or a resume), never more often than every 30 ms; with one
// that cannot tell, every 30 ms.
//
// Pause handshake: the GUI thread raises SUSPENDSYNC and then waits for
// SYNCTHREADBUSY to drop; a pass raises SYNCTHREADBUSY and then looks at
// SUSPENDSYNC again. Both flags are sequentially consistent atomics, so one
// side always sees the other: either the pass backs off, or the GUI thread
// waits for it to end. No pass talks to the device library while the GUI
// thread believes it paused.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tarvolen {

class cStatus;
class cAmpcontrol;
class cSettings;

class cSyncThread {
  public:
    cSyncThread(cStatus& status, cAmpcontrol& amp, cSettings& settings);
    // Asks the thread to end and waits for it.
    ~cSyncThread();
    cSyncThread(const cSyncThread&) = delete;
    cSyncThread& operator=(const cSyncThread&) = delete;

    // Starts the thread method on a new thread; only the first call does.
    void Launch(int32_t parameter);
    bool Launched() const { return thread_.joinable(); }

    // KILLTHREAD
    void SetKillThread(int32_t value) {
        kill_.store(value);
        waker_->Poke(true);
    }
    // SUSPENDSYNC; a resume always brings a pass.
    int32_t SuspendSync() const { return suspend_.load(); }
    void SetSuspendSync(int32_t value) {
        suspend_.store(value);
        if (!value) waker_->Poke(true);
    }
    // SYNCTHREADBUSY
    int32_t SyncThreadBusy() const { return busy_.load(); }
    void SetSyncThreadBusy(int32_t value) { busy_.store(value); }
    // THREADDEAD
    int32_t ThreadDead() const { return dead_.load(); }
    // ZERODETAILCOUNTER: declared, never used.
    void ZeroDetailCounter() {}

    // Called with every pass that talked to the device library, after it
    // ended; for tests and measurements.
    void SetPassHook(std::function<void(bool changed)> hook) { pass_hook_ = std::move(hook); }
    // Sends the wake-up to the main window; replaceable for tests.
    void SetWakeUp(std::function<void()> wake) { wake_ = std::move(wake); }

    // One pass of the thread method without its sleep: what runs every 30 ms.
    // Returns whether it talked to the device library.
    bool Pass();

  private:
    // Shared with the device library's change calls, which may outlive the
    // thread object.
    struct Waker {
        std::mutex mu;
        std::condition_variable cv;
        std::atomic<bool> due{true};  // something changed since the last pass began
        void Poke(bool always = false) {
            // Only the first change after a pass needs to reach the thread;
            // a resume or the end always does, the thread may wait on them.
            if (due.exchange(true) && !always) return;
            { std::lock_guard lock(mu); }
            cv.notify_one();
        }
    };

    void Run(int32_t parameter);

    cStatus& status_;
    cAmpcontrol& amp_;
    cSettings& settings_;
    std::atomic<int32_t> kill_{0};
    std::atomic<int32_t> suspend_{0};
    std::atomic<int32_t> busy_{0};
    std::atomic<int32_t> dead_{0};
    int32_t pass_counter_ = 0;    // thread only
    int32_t detail_counter_ = 0;  // thread only
    std::function<void(bool)> pass_hook_;
    std::function<void()> wake_;
    std::shared_ptr<Waker> waker_ = std::make_shared<Waker>();
    std::thread thread_;
};

}  // namespace tarvolen
