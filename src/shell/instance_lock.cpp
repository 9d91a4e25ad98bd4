#include "shell/instance_lock.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace tarvolen {
namespace {

std::string Reason(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

// Makes each missing directory of path, the last one private to the user.
// Empty on success, else why not.
std::string MakeDirectory(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        const bool last = slash == std::string::npos;
        if (::mkdir(part.c_str(), last ? 0700 : 0755) != 0 && errno != EEXIST)
            return Reason(part, errno);
        if (last) break;
    }
    // A directory someone else made, or one others may write into, would let
    // them plant or remove the lock.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return Reason(path, errno);
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 022) != 0)
        return path + ": not a directory of this user's own";
    return {};
}

}  // namespace

std::string InstanceLock::Name() {
    const char* name = std::getenv("TARVOLEN_INSTANCE");
    return name != nullptr && *name != '\0' ? std::string(name) : std::string(kInstanceName);
}

std::string InstanceLock::LockDirectory() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/' && std::strlen(found->pw_dir) > 1)
        return std::string(found->pw_dir) + "/.local/state/tarvolen";
    return "/tmp/tarvolen-" + std::to_string(::getuid());
}

std::string InstanceLock::LockPath(std::string_view name, std::string_view settingsPath) {
    std::string file(name);
    for (char& c : file) {
        if (c == '/' || c == '\0') c = '_';
    }
    // One lock per settings file: two copies of the program beside two
    // settings files are two desks.
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : settingsPath) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return LockDirectory() + "/" + file + "-" + hex + ".lock";
}

InstanceLock InstanceLock::Acquire(std::string_view name, std::string_view settingsPath) {
    const std::string directory = LockDirectory();
    std::string path = LockPath(name, settingsPath);
    if (std::string error = MakeDirectory(directory); !error.empty())
        return InstanceLock(InstanceStatus::kFailed, -1, std::move(path), std::move(error));
    return AcquireAt(path);
}

InstanceLock InstanceLock::AcquireAt(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return InstanceLock(InstanceStatus::kFailed, -1, path, Reason(path, errno));
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return InstanceLock(InstanceStatus::kAlreadyRunning, -1, path);
        return InstanceLock(InstanceStatus::kFailed, -1, path, Reason(path, error));
    }
    return InstanceLock(InstanceStatus::kAcquired, fd, path);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : status_(other.status_),
      fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      error_(std::move(other.error_)) {
    other.status_ = InstanceStatus::kFailed;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        Release();
        status_ = std::exchange(other.status_, InstanceStatus::kFailed);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
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
