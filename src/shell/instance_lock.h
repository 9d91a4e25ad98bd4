// Single instance: an exclusive lock on a file named after the instance name
// and the settings file, held for the life of the process. The kernel drops
// it when the process ends in any way, so a crashed controller never blocks
// the next start.
#pragma once

#include <string>
#include <string_view>

namespace tarvolen {

inline constexpr std::string_view kInstanceName = "TarVolenMcc";

enum class InstanceStatus {
    kAcquired,
    kAlreadyRunning,  // another process holds the lock
    kFailed,          // the lock could not be taken; Error() says why
};

class InstanceLock {
  public:
    // The instance name: TARVOLEN_INSTANCE when set and not empty, else
    // "TarVolenMcc" (tests give each process its own name).
    static std::string Name();
    // The user's lock directory: ~/.local/state/tarvolen under the home of
    // the password database, or /tmp/tarvolen-<uid> for a user without one.
    // It depends on the user only: a start from the desktop, from ssh or from
    // cron meets the same lock whatever its environment says.
    static std::string LockDirectory();
    // The lock file of an instance name and a settings file.
    static std::string LockPath(std::string_view name, std::string_view settingsPath);

    // Takes the lock of the name and settings file without waiting, creating
    // the lock directory (private to the user) when it is missing.
    static InstanceLock Acquire(std::string_view name, std::string_view settingsPath);
    // Takes the lock on the file at path without waiting.
    static InstanceLock AcquireAt(const std::string& path);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    InstanceStatus Status() const { return status_; }
    bool Held() const { return status_ == InstanceStatus::kAcquired; }
    const std::string& Path() const { return path_; }
    // Why the lock could not be taken (empty otherwise).
    const std::string& Error() const { return error_; }

  private:
    InstanceLock(InstanceStatus status, int fd, std::string path, std::string error = {})
        : status_(status), fd_(fd), path_(std::move(path)), error_(std::move(error)) {}
    void Release();

    InstanceStatus status_;
    int fd_ = -1;
    std::string path_;
    std::string error_;
};

}  // namespace tarvolen
