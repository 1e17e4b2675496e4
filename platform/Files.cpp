#include "platform/Files.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

PathKind KindOf(const std::string& path)
{
    struct stat st { };
    if (path.empty() || stat(path.c_str(), &st) != 0)
        return PathKind::Missing;
    return S_ISDIR(st.st_mode) ? PathKind::Directory : PathKind::Other;
}

bool MakeDirectory(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    return KindOf(path) == PathKind::Directory;
}

bool EnsurePrivateFolder(const std::string& folder)
{
    // A trailing '/' would make the kernel follow a link at the end.
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    // Open without following a link, then judge what was opened, so the
    // checks and the chmod apply to the same folder.
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st { };
    bool ok = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
    if (ok && (st.st_mode & 077) != 0)
        ok = fchmod(fd, 0700) == 0;
    close(fd);
    return ok;
}

CreateResult CreateNewFile(const std::string& path)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST ? CreateResult::Exists : CreateResult::Failed;
    close(fd);
    return CreateResult::Created;
}

bool ReadWholeFile(const std::string& path, size_t maxBytes, std::string* out)
{
    if (out == nullptr)
        return false;
    out->clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st { };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > maxBytes) {
        close(fd);
        return false;
    }
    // The size is only a hint: the file may grow while we read, so the
    // bound is enforced on what arrives.
    char buf[16384];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || out->size() + static_cast<size_t>(n) > maxBytes) {
            close(fd);
            out->clear();
            return false;
        }
        if (n == 0)
            break;
        out->append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

bool ReplaceFile(const std::string& path, std::string_view contents)
{
    static thread_local std::mt19937 rng { std::random_device {}() };
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 20 && fd < 0; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.new", static_cast<unsigned>(rng()));
        temp = path + suffix;
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    // Keep the permissions a user gave the file being replaced.
    struct stat st { };
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        (void)fchmod(fd, st.st_mode & 0777);
    bool ok = WriteAll(fd, contents) && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok)
        ok = rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        unlink(temp.c_str());
    return ok;
}

} // namespace platform
