#include "shell/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace tarvolen {

std::string InstanceLock::Name() {
    const char* name = std::getenv("TARVOLEN_INSTANCE");
    return name != nullptr && *name != '\0' ? std::string(name) : std::string(kInstanceName);
}

std::string InstanceLock::LockPath(std::string_view name) {
    std::string file(name);
    for (char& c : file) {
        if (c == '/' || c == '\0') c = '_';
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime == '/') return std::string(runtime) + "/" + file + ".lock";
    return "/tmp/" + file + "-" + std::to_string(::getuid()) + ".lock";
}

InstanceLock InstanceLock::Acquire(std::string_view name) {
    std::string path = LockPath(name);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return InstanceLock(InstanceStatus::kFailed, -1, std::move(path));
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        InstanceStatus status =
            errno == EWOULDBLOCK ? InstanceStatus::kAlreadyRunning : InstanceStatus::kFailed;
        ::close(fd);
        return InstanceLock(status, -1, std::move(path));
    }
    return InstanceLock(InstanceStatus::kAcquired, fd, std::move(path));
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : status_(other.status_), fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {
    other.status_ = InstanceStatus::kFailed;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        Release();
        status_ = std::exchange(other.status_, InstanceStatus::kFailed);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

InstanceLock::~InstanceLock() {
    Release();
}

// The file itself stays: removing it would let a second process lock a new
// file of the same name while the first still holds the old one.
void InstanceLock::Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace tarvolen
