// A paced I/O thread: news waits for a drain, a posted job or the pace; an
// awaited answer does not wait at all; a parked read always starts again;
// while the status is polled, drains read the news themselves, and when
// they stop the thread reads again.
#include <gtest/gtest.h>

#include <array>
#include <asio.hpp>
#include <asio/local/stream_protocol.hpp>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/link/io_thread.h"

namespace {

using namespace std::chrono_literals;
using tarvolen::link::IoThread;
using Local = asio::local::stream_protocol;

// Each byte that arrives is news, counted as it is handled.
struct Reader {
    explicit Reader(IoThread& t) : thread(t), socket(t.io) {}
    IoThread& thread;
    Local::socket socket;
    std::array<char, 64> buffer{};
    std::atomic<int> handled{0};
    std::atomic<std::thread::id> reader;  // of the last byte handled

    void Read() {
        socket.async_read_some(asio::buffer(buffer),
                               [this](const asio::error_code& e, std::size_t n) {
                                   if (e) return;
                                   reader = std::this_thread::get_id();
                                   handled += int(n);
                                   thread.News();
                                   // As a link's connections do: the next read
                                   // may wait for the thread's next read of all.
                                   if (!thread.Park([this] { Read(); })) Read();
                               });
    }
};

bool Within(std::chrono::milliseconds bound, auto done) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(IoThreadTest, NewsWaitsForADrainAPostOrAHurriedCallerButNotForThePaceAlone) {
    // A pace far longer than any wait below: whatever is handled in time was
    // handled because of the drain, the job or the caller, not the pace.
    IoThread thread("test-io", 60s);
    Reader reader(thread);
    Local::socket writer(thread.io);
    asio::local::connect_pair(reader.socket, writer);
    std::atomic<bool> started{false};
    thread.Post([&] {
        reader.Read();
        started = true;
    });
    ASSERT_TRUE(Within(5s, [&] { return started.load(); }));
    auto send = [&] { ASSERT_EQ(::write(writer.native_handle(), "x", 1), 1); };

    // The first news is read on arrival; from then on the thread paces.
    send();
    ASSERT_TRUE(Within(5s, [&] { return reader.handled == 1; }));
    send();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(reader.handled, 1) << "news read on arrival while pacing";

    thread.Drain();
    EXPECT_TRUE(Within(5s, [&] { return reader.handled == 2; })) << "a drain left news unread";

    send();
    std::atomic<bool> ran{false};
    thread.Post([&] { ran = true; });
    EXPECT_TRUE(Within(5s, [&] { return ran && reader.handled == 3; }))
        << "a job posted to a pacing thread waited for the pace";

    {
        IoThread::Hurried hurried(thread);
        // Long enough for the thread to read on arrival again first.
        std::this_thread::sleep_for(50ms);
        send();
        EXPECT_TRUE(Within(5s, [&] { return reader.handled == 4; }))
            << "an awaited answer waited for the pace";
    }
    send();
    EXPECT_TRUE(Within(5s, [&] { return reader.handled == 5; }))
        << "a read parked while the thread paced was never started again";
    thread.Post([&] {
        asio::error_code ignored;
        reader.socket.close(ignored);
    });
    thread.Stop();
}

TEST(IoThreadTest, DrainsOfAPolledStatusReadTheNewsThemselvesAndTheThreadReadsWhenTheyStop) {
    IoThread thread("test-io", 60s);
    thread.Polled(true);
    Reader reader(thread);
    Local::socket writer(thread.io);
    asio::local::connect_pair(reader.socket, writer);
    thread.Post([&] { reader.Read(); });
    auto send = [&] { ASSERT_EQ(::write(writer.native_handle(), "x", 1), 1); };
    send();
    ASSERT_TRUE(Within(5s, [&] { return reader.handled == 1; }));

    // As status passes do: each drain finds the news sent before it handled,
    // by the draining thread, the I/O thread left asleep.
    for (int pass = 2; pass <= 6; ++pass) {
        send();
        std::this_thread::sleep_for(30ms);
        thread.Drain();
        ASSERT_EQ(reader.handled, pass) << "a drain returned before its news was handled";
        EXPECT_EQ(reader.reader.load(), std::this_thread::get_id()) << "pass " << pass;
    }
    // The passes stop (a suspended status thread): the news is read all the
    // same, long before the pace, by the I/O thread.
    send();
    EXPECT_TRUE(Within(5s, [&] { return reader.handled == 7; })) << "news waited for the pace";
    EXPECT_NE(reader.reader.load(), std::this_thread::get_id());
    thread.Post([&] {
        asio::error_code ignored;
        reader.socket.close(ignored);
    });
    thread.Stop();
}

TEST(IoThreadTest, AnswersDueEndThePacingOnceTheyAreInOrOnceAReadHasLookedForThem) {
    IoThread thread("test-io", 60s);
    Local::socket socket(thread.io), writer(thread.io);
    asio::local::connect_pair(socket, writer);
    std::array<char, 64> buffer{};
    std::atomic<int> handled{0};
    // Every byte is a ping's answer, as the link counts them.
    std::function<void()> read = [&] {
        socket.async_read_some(asio::buffer(buffer), [&](const asio::error_code& e, std::size_t n) {
            if (e) return;
            for (std::size_t i = 0; i < n; ++i) thread.Answered();
            handled += int(n);
            if (!thread.Park(read)) read();
        });
    };
    auto send = [&] { ASSERT_EQ(::write(writer.native_handle(), "a", 1), 1); };
    std::atomic<bool> started{false};
    thread.Post([&] {
        read();
        started = true;
    });
    ASSERT_TRUE(Within(5s, [&] { return started.load(); }));

    // A round whose answer is in by the time its job ends: read in the same
    // go, and the thread reads on arrival again, never waiting for the pace.
    thread.Post([&] {
        thread.AnswerDue();
        send();
        std::this_thread::sleep_for(20ms);
    });
    ASSERT_TRUE(Within(5s, [&] { return handled == 1; }));
    send();
    EXPECT_TRUE(Within(5s, [&] { return handled == 2; }))
        << "a round all answered left the thread pacing";

    // A round one of whose answers never comes: the next read ends the wait.
    std::atomic<bool> due{false};
    thread.Post([&] {
        thread.AnswerDue();
        thread.AnswerDue();
        due = true;
    });
    // Counted from the round, not from the post: a busy host runs the post late.
    ASSERT_TRUE(Within(5s, [&] { return due.load(); }));
    std::this_thread::sleep_for(50ms);
    send();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(handled, 2) << "an answer read on arrival while another was due";
    thread.Post([] {});
    ASSERT_TRUE(Within(5s, [&] { return handled == 3; }));
    send();
    EXPECT_TRUE(Within(5s, [&] { return handled == 4; }))
        << "an answer that never came kept the thread pacing";
    thread.Post([&] {
        asio::error_code ignored;
        socket.close(ignored);
    });
    thread.Stop();
}

}  // namespace
