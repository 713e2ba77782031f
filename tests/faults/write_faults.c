/* Injected write faults, loaded with LD_PRELOAD into a process under test.
 *
 * FLANGER_FAULT="CALL:N" makes the N-th call (from 1) of one kind fail, counted over the whole
 * process and its threads:
 *   open    an open or temporary-file creation that may write (O_WRONLY, O_RDWR or O_CREAT;
 *           mkstemp and its kin): fails with EACCES
 *   write   write, pwrite, writev on a descriptor above standard error: fails with EIO
 *   full    that write and every later one: ENOSPC, a disk that has filled up
 *   fsync   fsync or fdatasync: fails with EIO
 *   rename  rename, renameat, renameat2: fails with EIO
 *   kill    the N-th of all the calls above: the process is killed (SIGKILL) before it is made
 * When the fault is met, the file named by FLANGER_FAULT_MET is created, so that a test can
 * tell a fault that was injected from a count past the last call. Nothing else changes.
 */
/* The plain and the 64-bit names are both defined here, each forwarding to its own. */
#undef _FILE_OFFSET_BITS
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

enum Kind { kOpen, kWrite, kFull, kFsync, kRename, kKill, kNone };
static const char* const kNames[] = {"open", "write", "full", "fsync", "rename", "kill"};

static enum Kind chosen = kNone;
static long target;
static atomic_long counts[kNone];
static atomic_int full;

__attribute__((constructor)) static void ReadFault(void) {
    const char* fault = getenv("FLANGER_FAULT");
    if (fault == NULL) return;
    for (int kind = 0; kind < kNone; ++kind) {
        const size_t length = strlen(kNames[kind]);
        if (strncmp(fault, kNames[kind], length) == 0 && fault[length] == ':') {
            chosen = (enum Kind)kind;
            target = atol(fault + length + 1);
        }
    }
}

static void Met(void) {
    const char* marker = getenv("FLANGER_FAULT_MET");
    if (marker == NULL) return;
    /* The system call itself, so that the marker is not counted as a call under test. */
    const long fd = syscall(SYS_openat, AT_FDCWD, marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) syscall(SYS_close, fd);
}

/* Whether this call of `kind` fails (errno set), or the process ends here. */
static int Fails(enum Kind kind) {
    if (chosen == kNone) return 0;
    if (kind == kWrite && atomic_load(&full)) return errno = ENOSPC, 1;
    const enum Kind counted = chosen == kFull && kind == kWrite ? kFull : kind;
    if (chosen == kKill) {
        if (atomic_fetch_add(&counts[kKill], 1) + 1 == target) {
            Met();
            kill(getpid(), SIGKILL);
        }
        return 0;
    }
    if (counted != chosen || atomic_fetch_add(&counts[counted], 1) + 1 != target) return 0;
    Met();
    static const int codes[] = {EACCES, EIO, ENOSPC, EIO, EIO};
    if (chosen == kFull) atomic_store(&full, 1);
    errno = codes[chosen];
    return 1;
}

/* The next definition of a function, the C library's (through an integer: ISO C has no
 * conversion between object and function pointers). */
#define NEXT(type, name) ((type)(uintptr_t)dlsym(RTLD_NEXT, name))
#define REAL(name) NEXT(__typeof__(&name), #name)

static int Writes(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT)) != 0; }

static int OpenWith(const char* symbol, int directory, const char* path, int flags, mode_t mode) {
    if (Writes(flags) && Fails(kOpen)) return -1;
    if (directory == -1) {
        int (*real)(const char*, int, ...) = NEXT(int (*)(const char*, int, ...), symbol);
        return real(path, flags, mode);
    }
    int (*real)(int, const char*, int, ...) = NEXT(int (*)(int, const char*, int, ...), symbol);
    return real(directory, path, flags, mode);
}

#define MODE_ARGUMENT(flags)                 \
    mode_t mode = 0;                         \
    if ((flags) & (O_CREAT | __O_TMPFILE)) { \
        va_list arguments;                   \
        va_start(arguments, flags);          \
        mode = va_arg(arguments, mode_t);    \
        va_end(arguments);                   \
    }

int open(const char* path, int flags, ...) {
    MODE_ARGUMENT(flags);
    return OpenWith("open", -1, path, flags, mode);
}
int open64(const char* path, int flags, ...) {
    MODE_ARGUMENT(flags);
    return OpenWith("open64", -1, path, flags, mode);
}
int openat(int directory, const char* path, int flags, ...) {
    MODE_ARGUMENT(flags);
    return OpenWith("openat", directory, path, flags, mode);
}
int openat64(int directory, const char* path, int flags, ...) {
    MODE_ARGUMENT(flags);
    return OpenWith("openat64", directory, path, flags, mode);
}

int mkstemp(char* pattern) { return Fails(kOpen) ? -1 : REAL(mkstemp)(pattern); }
int mkostemp(char* pattern, int flags) {
    return Fails(kOpen) ? -1 : REAL(mkostemp)(pattern, flags);
}
int mkstemps(char* pattern, int suffix) {
    return Fails(kOpen) ? -1 : REAL(mkstemps)(pattern, suffix);
}
int mkostemps(char* pattern, int suffix, int flags) {
    return Fails(kOpen) ? -1 : REAL(mkostemps)(pattern, suffix, flags);
}

int mkstemp64(char* pattern) { return Fails(kOpen) ? -1 : REAL(mkstemp64)(pattern); }
int mkostemp64(char* pattern, int flags) {
    return Fails(kOpen) ? -1 : REAL(mkostemp64)(pattern, flags);
}
int mkostemps64(char* pattern, int suffix, int flags) {
    return Fails(kOpen) ? -1 : REAL(mkostemps64)(pattern, suffix, flags);
}

ssize_t write(int fd, const void* data, size_t size) {
    return fd > 2 && Fails(kWrite) ? -1 : REAL(write)(fd, data, size);
}
ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    return fd > 2 && Fails(kWrite) ? -1 : REAL(pwrite)(fd, data, size, offset);
}
ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
    return fd > 2 && Fails(kWrite) ? -1 : REAL(pwrite64)(fd, data, size, offset);
}
ssize_t writev(int fd, const struct iovec* parts, int count) {
    return fd > 2 && Fails(kWrite) ? -1 : REAL(writev)(fd, parts, count);
}

int fsync(int fd) { return Fails(kFsync) ? -1 : REAL(fsync)(fd); }
int fdatasync(int fd) { return Fails(kFsync) ? -1 : REAL(fdatasync)(fd); }

int rename(const char* from, const char* to) {
    return Fails(kRename) ? -1 : REAL(rename)(from, to);
}
int renameat(int fromDirectory, const char* from, int toDirectory, const char* to) {
    return Fails(kRename) ? -1 : REAL(renameat)(fromDirectory, from, toDirectory, to);
}
int renameat2(int fromDirectory, const char* from, int toDirectory, const char* to,
              unsigned flags) {
    return Fails(kRename) ? -1 : REAL(renameat2)(fromDirectory, from, toDirectory, to, flags);
}
