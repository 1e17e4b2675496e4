/* A name lookup that never answers, preloaded into the real program
 * (LD_PRELOAD) so a test can show what the presenter sees while the system's
 * resolver hangs. Only names ending in ".stuck.test" hang; every other
 * lookup goes to the C library as usual. A hanging lookup creates the file
 * "entered" in the folder TAVDJ_STUCK_LOOKUP_DIR names and stays until a
 * file "release" appears there; it then fails, creating "left". So the test
 * can tell that the lookup was still hanging when the window answered. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netdb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static const char kStuckSuffix[] = ".stuck.test";

static int IsStuckName(const char* node)
{
    const size_t length = node ? strlen(node) : 0;
    const size_t suffix = sizeof kStuckSuffix - 1;
    return length >= suffix && strcmp(node + length - suffix, kStuckSuffix) == 0;
}

static void Mark(const char* dir, const char* name)
{
    char path[4096];
    if (snprintf(path, sizeof path, "%s/%s", dir, name) >= (int)sizeof path)
        return;
    FILE* f = fopen(path, "w");
    if (f)
        fclose(f);
}

static int Released(const char* dir)
{
    char path[4096];
    if (snprintf(path, sizeof path, "%s/release", dir) >= (int)sizeof path)
        return 1;
    return access(path, F_OK) == 0;
}

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints, struct addrinfo** res)
{
    const char* dir = getenv("TAVDJ_STUCK_LOOKUP_DIR");
    if (dir && IsStuckName(node)) {
        Mark(dir, "entered");
        const struct timespec step = { 0, 20 * 1000 * 1000 };
        while (!Released(dir))
            nanosleep(&step, NULL);
        Mark(dir, "left");
        return EAI_NONAME;
    }
    typedef int (*GetAddrInfo)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    static GetAddrInfo real;
    if (!real)
        real = (GetAddrInfo)dlsym(RTLD_NEXT, "getaddrinfo");
    return real ? real(node, service, hints, res) : EAI_FAIL;
}
