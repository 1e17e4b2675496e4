#pragma once

// A child process started by a test, read line by line with a deadline and
// stopped by its pid.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace testutil {

// Starts argv[0], looked up on PATH, with the given redirections; -1 on failure.
inline pid_t SpawnWith(const std::vector<std::string>& argv, const posix_spawn_file_actions_t* actions)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    return ::posix_spawnp(&pid, args[0], actions, nullptr, args.data(), environ) == 0 ? pid : -1;
}

// Reaps the child if it ends within timeoutMs: true, with its exit code (-1
// when a signal ended it); false while it still runs.
inline bool ReapWithin(pid_t pid, int timeoutMs, int* exitCode)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        ::usleep(10000);
    }
}

// SIGTERM, graceMs for the child to end, then SIGKILL; reaped either way.
inline void Terminate(pid_t pid, int graceMs)
{
    ::kill(pid, SIGTERM);
    int code = 0;
    if (ReapWithin(pid, graceMs, &code))
        return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// SIGTERM, then waits for the child to end and tells what it used: its CPU
// seconds (user and system) and peak resident kilobytes. False when pid is
// no child that could be reaped.
inline bool TerminateMeasured(pid_t pid, double* cpuSeconds, long* maxRssKb)
{
    if (pid <= 0)
        return false;
    ::kill(pid, SIGTERM);
    int status = 0;
    rusage ru {};
    const pid_t got = ::wait4(pid, &status, 0, &ru);
    *cpuSeconds = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    *maxRssKb = ru.ru_maxrss;
    return got > 0;
}

// A child whose stdout we read; stopped (SIGTERM, then SIGKILL) by pid.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // With `silent`, what the child does not pipe to us goes to /dev/null
    // instead of the test's own output.
    bool Start(const std::vector<std::string>& argv, bool captureStdout = true, bool silent = false)
    {
        int fds[2] = { -1, -1 };
        if (captureStdout && ::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (captureStdout)
            posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        else if (silent)
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (silent)
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        m_pid = SpawnWith(argv, &actions);
        posix_spawn_file_actions_destroy(&actions);
        if (captureStdout)
            ::close(fds[1]);
        if (m_pid < 0) {
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
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                      .count();
            if (left <= 0 || m_out < 0)
                return false;
            pollfd p { m_out, POLLIN, 0 };
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
        int code = -1;
        if (m_pid <= 0 || !ReapWithin(m_pid, timeoutMs, &code))
            return -1;
        m_pid = -1;
        return code;
    }

    void Stop()
    {
        if (m_pid > 0)
            Terminate(m_pid, 2000);
        m_pid = -1;
        CloseOutput();
    }

    // Hands the still-running child to the caller, who must reap it.
    pid_t Release()
    {
        CloseOutput();
        return std::exchange(m_pid, -1);
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_pending;

    void CloseOutput()
    {
        if (m_out >= 0)
            ::close(m_out);
        m_out = -1;
    }
};

inline std::string SourcePath(const std::string& relative)
{
    const char* root = std::getenv("TAVDJ_SOURCE_DIR");
    return std::string(root ? root : TAVDJ_SOURCE_DIR) + "/" + relative;
}

} // namespace testutil
