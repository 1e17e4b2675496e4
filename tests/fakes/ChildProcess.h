#pragma once

// A child process started by a test, read line by line with a deadline and
// stopped by its pid.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace testutil {

// A child whose stdout we read; stopped (SIGTERM, then SIGKILL) by pid.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::vector<std::string>& argv, bool captureStdout = true)
    {
        int fds[2] = {-1, -1};
        if (captureStdout && ::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (captureStdout)
            posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const int rc = ::posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (captureStdout)
            ::close(fds[1]);
        if (rc != 0) {
            m_pid = -1;
            if (captureStdout)
                ::close(fds[0]);
            return false;
        }
        m_out = captureStdout ? fds[0] : -1;
        return true;
    }

    // One line of the child's stdout, waiting at most timeoutMs.
    bool ReadLine(std::string* line, int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const size_t nl = m_pending.find('\n');
            if (nl != std::string::npos) {
                *line = m_pending.substr(0, nl);
                m_pending.erase(0, nl + 1);
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0 || m_out < 0)
                return false;
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            char buf[4096];
            const ssize_t n = ::read(m_out, buf, sizeof buf);
            if (n <= 0)
                return false;
            m_pending.append(buf, static_cast<size_t>(n));
        }
    }

    pid_t Pid() const { return m_pid; }

    // Waits up to timeoutMs for the child to end; its exit code, or -1 when
    // it is still running or died of a signal.
    int Wait(int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_pid > 0) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return -1;
            ::usleep(10000);
        }
        return -1;
    }

    void Stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            for (int i = 0; i < 100; ++i) {
                if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                    m_pid = -1;
                    break;
                }
                ::usleep(20000);
            }
            if (m_pid > 0) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                m_pid = -1;
            }
        }
        if (m_out >= 0) {
            ::close(m_out);
            m_out = -1;
        }
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_pending;
};

inline std::string SourcePath(const std::string& relative)
{
    const char* root = std::getenv("TAVDJ_SOURCE_DIR");
    return std::string(root ? root : TAVDJ_SOURCE_DIR) + "/" + relative;
}

}  // namespace testutil
