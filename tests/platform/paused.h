// Stops this whole process for a while from another one, as a suspended
// laptop or a starved virtual machine would, and returns once it runs again.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace tarvolen::testing {

inline bool PauseThisProcess(std::chrono::milliseconds length) {
    const std::string self = std::to_string(::getpid());
    const std::string script = "kill -STOP " + self + "; sleep " +
                               std::to_string(double(length.count()) / 1000.0) + "; kill -CONT " +
                               self;
    const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
    pid_t pauser = 0;
    if (::posix_spawnp(&pauser, "sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0)
        return false;
    int status = 0;
    return ::waitpid(pauser, &status, 0) == pauser && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tarvolen::testing
