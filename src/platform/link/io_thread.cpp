#include "platform/link/io_thread.h"

#include <pthread.h>

#include <chrono>
#include <memory>

namespace tarvolen::link {

IoThread::IoThread(const char* name) {
    work_.emplace(io.get_executor());
    thread_ = std::thread([this, name] {
        pthread_setname_np(pthread_self(), name);
        io.run();
    });
}

IoThread::~IoThread() {
    Stop();
}

void IoThread::Stop() {
    if (!thread_.joinable()) return;
    work_.reset();
    asio::post(io, [this] {
        auto t = std::make_shared<asio::steady_timer>(io, std::chrono::milliseconds(20));
        t->async_wait([this, t](const asio::error_code&) { io.stop(); });
    });
    thread_.join();
}

}  // namespace tarvolen::link
