// Single instance: an exclusive lock on a file named after the instance name,
// held for the life of the process. The kernel drops it when the process
// ends in any way, so a crashed controller never blocks the next start.
#pragma once

#include <string>
#include <string_view>

namespace tarvolen {

inline constexpr std::string_view kInstanceName = "TarVolenMcc";

enum class InstanceStatus {
    kAcquired,
    kAlreadyRunning,  // another process holds the lock
    kFailed,          // the lock could not be created
};

class InstanceLock {
  public:
    // The instance name: TARVOLEN_INSTANCE when set and not empty, else
    // "TarVolenMcc" (tests give each process its own name).
    static std::string Name();
    // Where the lock file for a name lives: $XDG_RUNTIME_DIR, else /tmp with
    // the user id in the file name.
    static std::string LockPath(std::string_view name);

    // Takes the lock without waiting; Status() tells how it went.
    static InstanceLock Acquire(std::string_view name);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    InstanceStatus Status() const { return status_; }
    bool Held() const { return status_ == InstanceStatus::kAcquired; }
    const std::string& Path() const { return path_; }

  private:
    InstanceLock(InstanceStatus status, int fd, std::string path)
        : status_(status), fd_(fd), path_(std::move(path)) {}
    void Release();

    InstanceStatus status_;
    int fd_ = -1;
    std::string path_;
};

}  // namespace tarvolen
