#include "platform/Process.h"

#include "platform/Files.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

std::string FindProgram(const std::string& name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr && path[0] != '\0' ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (!dir.empty()) {
            std::string candidate = dir + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0 && KindOf(candidate) == PathKind::Other)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

void ReportAndExit(int fd, int code)
{
    int err = errno;
    (void)!write(fd, &err, sizeof err);
    _exit(code);
}

bool InGroup(const char* name, const std::vector<gid_t>& groups)
{
    struct group entry { };
    struct group* found = nullptr;
    std::vector<char> buf(16384);
    if (getgrnam_r(name, &entry, buf.data(), buf.size(), &found) != 0 || found == nullptr)
        return false;
    for (gid_t g : groups) {
        if (g == found->gr_gid)
            return true;
    }
    return false;
}

} // namespace

bool SpawnDetached(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return false;
    // Everything the children need is prepared here: between fork and exec
    // of a threaded process only async-signal-safe calls are allowed.
    std::string program = FindProgram(argv[0]);
    if (program.empty())
        return false;
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int fds[2];
    if (devNull < 0 || pipe2(fds, O_CLOEXEC) != 0) {
        if (devNull >= 0)
            close(devNull);
        return false;
    }
    sigset_t none;
    sigemptyset(&none);

    pid_t child = fork();
    if (child == 0) {
        setsid();
        pid_t grandchild = fork();
        if (grandchild < 0)
            ReportAndExit(fds[1], 1);
        if (grandchild == 0) {
            dup2(devNull, STDIN_FILENO);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execve(program.c_str(), args.data(), environ);
            ReportAndExit(fds[1], 127);
        }
        _exit(0);
    }
    close(fds[1]);
    close(devNull);
    bool started = false;
    if (child > 0) {
        // The pipe closes without a word when exec succeeds (close-on-exec)
        // and carries errno when it fails.
        int err = 0;
        ssize_t n;
        do {
            n = read(fds[0], &err, sizeof err);
        } while (n < 0 && errno == EINTR);
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) { }
        started = n == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    close(fds[0]);
    return started;
}

bool ProcessArguments(std::vector<std::string>* out)
{
    if (out == nullptr)
        return false;
    out->clear();
    std::string text;
    if (!ReadWholeFile("/proc/self/cmdline", 1u << 20, &text))
        return false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos)
            end = text.size();
        out->push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return !out->empty();
}

bool IsAdministrator()
{
    if (geteuid() == 0)
        return true;
    int count = getgroups(0, nullptr);
    if (count < 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count) + 1);
    count = getgroups(count, groups.data());
    if (count < 0)
        return false;
    groups.resize(static_cast<size_t>(count));
    groups.push_back(getegid());
    return InGroup("sudo", groups) || InGroup("wheel", groups);
}

} // namespace platform
