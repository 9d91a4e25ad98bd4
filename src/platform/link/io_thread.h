// The one I/O thread of a link, named so that top and perf tell it apart.
//
// A paced thread saves its wake-ups while recorders push news (state and
// timecode lines nobody waits for, about one per recorder a frame): once news
// has come it no longer wakes for each arrival but reads everything that has
// come in one go when the status is asked (Drain), when work is posted, or
// after its pace. While the status is asked at a steady cadence it reads just
// before each ask instead, so a drain seldom has to wait for it. While a caller awaits an
// answer (Hurried), and once a read brings no news, it reads on arrival again.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tarvolen::link {

class IoThread {
  public:
    // pace: how long news may wait at most; zero reads everything on arrival.
    explicit IoThread(const char* name,
                      std::chrono::milliseconds pace = std::chrono::milliseconds(0));
    ~IoThread();  // Stop() if not done
    IoThread(const IoThread&) = delete;
    IoThread& operator=(const IoThread&) = delete;

    asio::io_context io;

    // Runs f on the I/O thread, a paced one included.
    template <class F>
    void Post(F&& f) {
        asio::post(io, std::forward<F>(f));
        Kick();
    }

    // I/O thread: what was just handled is news.
    void News() { news_ = true; }

    // I/O thread: false, or resume (a socket's next read) waits for the
    // thread's next read of everything and starts it: one receive a socket
    // then, instead of a second that finds nothing after each arrival.
    bool Park(std::function<void()> resume);

    // Any other thread: returns once what had arrived when it was called has
    // been handled (a paced thread), or at once.
    void Drain();

    // While one lives, answers are read the moment they arrive.
    class Hurried {
      public:
        explicit Hurried(IoThread& t) : t_(t) { t_.Hurry(1); }
        ~Hurried() { t_.Hurry(-1); }
        Hurried(const Hurried&) = delete;
        Hurried& operator=(const Hurried&) = delete;

      private:
        IoThread& t_;
    };

    // Lets what is queued run, gives the last writes (goodbyes, closes) a
    // moment, and ends the thread.
    void Stop();

  private:
    using Clock = std::chrono::steady_clock;
    // A drain waits no longer than this for a busy I/O thread.
    static constexpr auto kDrainBound = std::chrono::milliseconds(20);
    // A read this recent serves a drain without another.
    static constexpr auto kFresh = std::chrono::milliseconds(4);
    // How long before the next expected drain the thread reads.
    static constexpr auto kLead = std::chrono::milliseconds(1);
    // Drains closer together than this are not the status passes' cadence.
    static constexpr auto kMinEvery = std::chrono::milliseconds(10);
    // Drains further apart than this are no cadence to read in step with.
    static constexpr auto kMaxEvery = std::chrono::milliseconds(60);

    Clock::time_point NextRead(Clock::time_point now) const;  // m_ held

    void Run();
    void Resume();  // I/O thread
    void Kick();
    void Hurry(int delta);

    const std::chrono::milliseconds pace_;
    const bool paced_;
    std::mutex m_;
    std::condition_variable cv_;
    bool pacing_ = false;                             // m_; only the I/O thread changes it
    bool kicked_ = false;                             // m_
    int hurry_ = 0;                                   // m_
    bool reading_ = false;                            // m_
    std::uint64_t drainsAsked_ = 0, drainsDone_ = 0;  // m_
    Clock::time_point lastRead_{}, lastDrain_{};      // m_
    Clock::duration drainEvery_{};                    // m_
    bool news_ = false;                               // I/O thread only
    std::vector<std::function<void()>> parked_;       // I/O thread only
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::thread thread_;
};

}  // namespace tarvolen::link
