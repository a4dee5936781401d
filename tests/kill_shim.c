// Preloaded into the program by the history's fault test: the program kills itself with SIGKILL
// at its FRAGTALLY_KILL_AT_WRITE-th write (counted from 1) to a file whose name begins with
// FRAGTALLY_KILL_FILE (the history, its journal), as a power cut or a killed process would stop
// it there. Other files, and runs without the variables, are left alone. Under wine it is
// preloaded into wine's process, whose C library makes the Windows program's writes.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static long writes_seen;

// Counts a write to fd when it goes to the watched file, and kills the program at the chosen one.
static void before_write(int fd) {
    const char* name = getenv("FRAGTALLY_KILL_FILE");
    const char* at = getenv("FRAGTALLY_KILL_AT_WRITE");
    if (name == NULL || at == NULL) {
        return;
    }
    char link[64];
    char path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t size = readlink(link, path, sizeof path - 1);
    if (size <= 0) {
        return;
    }
    path[size] = '\0';
    const char* base = strrchr(path, '/');
    base = base != NULL ? base + 1 : path;
    if (strncmp(base, name, strlen(name)) != 0) {
        return;
    }
    if (++writes_seen == atol(at)) {
        kill(getpid(), SIGKILL);
    }
}

ssize_t write(int fd, const void* buffer, size_t size) {
    static ssize_t (*real)(int, const void*, size_t);
    if (real == NULL) {
        real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    }
    before_write(fd);
    return real(fd, buffer, size);
}

ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset) {
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (real == NULL) {
        real = (ssize_t(*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite");
    }
    before_write(fd);
    return real(fd, buffer, size, offset);
}

ssize_t pwrite64(int fd, const void* buffer, size_t size, off64_t offset) {
    static ssize_t (*real)(int, const void*, size_t, off64_t);
    if (real == NULL) {
        real = (ssize_t(*)(int, const void*, size_t, off64_t))dlsym(RTLD_NEXT, "pwrite64");
    }
    before_write(fd);
    return real(fd, buffer, size, offset);
}
