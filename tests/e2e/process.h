// Runs the real controller program as a child process for end-to-end tests,
// with its standard error collected.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tarvolen::e2e {

class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& extraEnv) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        std::vector<std::string> argStore{program};
        argStore.insert(argStore.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argStore) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envStore;
        for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
        envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp;
        for (auto& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        err_ = fds[0];
    }
    ~ChildProcess() {
        Kill(SIGKILL);
        Wait(std::chrono::milliseconds(2000));
        if (err_ >= 0) ::close(err_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    bool Running() {
        if (pid_ <= 0 || exited_) return false;
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exited_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return !exited_;
    }
    void Kill(int signal) {
        if (Running()) ::kill(pid_, signal);
    }
    // Waits for the process to end; its exit code, or -1 when it still runs.
    int Wait(std::chrono::milliseconds timeout) {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (Running() && std::chrono::steady_clock::now() < end) {
            Drain(10);
        }
        return Running() ? -1 : exitCode_;
    }
    // Waits until standard error holds text; false after timeout.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (output_.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
            if (!Drain(20) && !Running()) break;
        }
        Drain(0);
        return output_.find(text) != std::string::npos;
    }
    const std::string& Output() const { return output_; }

  private:
    bool Drain(int ms) {
        if (err_ < 0) return false;
        pollfd p{err_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return false;
        char buf[4096];
        ssize_t n = ::read(err_, buf, sizeof buf);
        if (n <= 0) return false;
        output_.append(buf, size_t(n));
        return true;
    }

    pid_t pid_ = -1;
    int err_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;
    std::string output_;
};

}  // namespace tarvolen::e2e
