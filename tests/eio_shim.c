// Preloaded into the program by the fault tests: once FRAGTALLY_FAIL_AFTER bytes of
// qconsole.log have been read, every further read of it fails with EIO, as a failing disk would;
// with FRAGTALLY_FAIL_FDOPEN set, fdopen fails with ENOMEM. Other files, and runs without the
// variables, are left alone.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef FILE* (*fopen_function)(const char*, const char*);
typedef FILE* (*fdopen_function)(int, const char*);

struct failing_log {
    int fd;
    long long left;  // bytes still readable before the failure
};

static ssize_t failing_read(void* cookie, char* buffer, size_t size) {
    struct failing_log* log = cookie;
    if (log->left <= 0) {
        errno = EIO;
        return -1;
    }
    if ((long long)size > log->left) {
        size = (size_t)log->left;
    }
    ssize_t got = read(log->fd, buffer, size);
    if (got > 0) {
        log->left -= got;
    }
    return got;
}

static int failing_close(void* cookie) {
    struct failing_log* log = cookie;
    int result = close(log->fd);
    free(log);
    return result;
}

static FILE* open_file(const char* path, const char* mode, const char* real_name) {
    fopen_function real = (fopen_function)dlsym(RTLD_NEXT, real_name);
    const char* limit = getenv("FRAGTALLY_FAIL_AFTER");
    const char* base = strrchr(path, '/');
    base = base != NULL ? base + 1 : path;
    if (limit == NULL || strcmp(base, "qconsole.log") != 0 || mode[0] != 'r') {
        return real(path, mode);
    }
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        return NULL;
    }
    struct failing_log* log = malloc(sizeof *log);
    if (log == NULL) {
        close(fd);
        errno = ENOMEM;
        return NULL;
    }
    log->fd = fd;
    log->left = atoll(limit);
    cookie_io_functions_t io = {failing_read, NULL, NULL, failing_close};
    FILE* stream = fopencookie(log, mode, io);
    if (stream == NULL) {
        failing_close(log);
    }
    return stream;
}

FILE* fopen(const char* path, const char* mode) {
    return open_file(path, mode, "fopen");
}

FILE* fopen64(const char* path, const char* mode) {
    return open_file(path, mode, "fopen64");
}

// The descriptor stays open, as after a real failure of fdopen.
FILE* fdopen(int fd, const char* mode) {
    if (getenv("FRAGTALLY_FAIL_FDOPEN") != NULL) {
        errno = ENOMEM;
        return NULL;
    }
    fdopen_function real = (fdopen_function)dlsym(RTLD_NEXT, "fdopen");
    return real(fd, mode);
}
