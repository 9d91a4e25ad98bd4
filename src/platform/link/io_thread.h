// The one I/O thread of a link, named so that top and perf tell it apart.
#pragma once

#include <asio.hpp>
#include <functional>
#include <optional>
#include <thread>

namespace tarvolen::link {

class IoThread {
  public:
    explicit IoThread(const char* name);
    ~IoThread();  // Stop() if not done
    IoThread(const IoThread&) = delete;
    IoThread& operator=(const IoThread&) = delete;

    asio::io_context io;

    // Lets what is queued run, gives the last writes (goodbyes, closes) a
    // moment, and ends the thread.
    void Stop();

  private:
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::thread thread_;
};

}  // namespace tarvolen::link
