/* A fault injector for the tests, loaded into the tamble binary with LD_PRELOAD.
 *
 * It stands between the program and the C library's file calls and counts the
 * calls of the chosen kinds; the N-th such call (and, if asked, the ones after it)
 * fails with a chosen errno instead of reaching the system, or the process is
 * killed there, or it pauses there, or a file is changed there.  Configured by
 * environment variables:
 *
 *   TAMBLE_FAULT_CALL    kinds to count, comma separated: open read write fsync
 *                        rename unlink close link lease, or "any" for all of
 *                        them (lease: taking a lease with fcntl F_SETLEASE)
 *   TAMBLE_FAULT_PATH    count only calls on paths containing this text (for
 *                        calls on a descriptor: the path the descriptor names)
 *   TAMBLE_FAULT_NTH     the counted call that triggers (1 = the first); 0 or
 *                        unset: nothing triggers, the calls are only counted
 *   TAMBLE_FAULT_TIMES   how many counted calls from the N-th on trigger
 *                        (default 1; 0 = all of them, a disk that stays full)
 *   TAMBLE_FAULT_ERRNO   ENOSPC, EIO, EACCES, EINTR, EFBIG, EROFS, EAGAIN, EINVAL
 *                        or a number
 *   TAMBLE_FAULT_ACTION  fail (default): the call fails with the errno;
 *                        kill: SIGKILL before the call;
 *                        pause: create ARG.reached, wait until ARG exists;
 *                        append: append one byte to the file ARG, then the call;
 *                        signal: send the signal numbered ARG, then the call
 *   TAMBLE_FAULT_ARG     the file of pause and append, the signal of signal
 *   TAMBLE_FAULT_REPORT  at exit, write "calls=<counted> fired=<triggered>" here
 *   TAMBLE_FAULT_TRACE   append "<n> <kind> <path>" for every counted call here
 *
 * Every name through which glibc lets a program reach these calls is covered
 * (open64, __open_2, openat64, creat, fopen, opendir, __read_chk, pread, remove,
 * renameat2, unlinkat, ...), and a path of the form /proc/self/fd/N is matched
 * by the file the descriptor names, as the program writes its temporaries that
 * way.  Under AddressSanitizer the sanitizer's runtime is preloaded before this
 * library; its interceptors then call these functions, which call the C library.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

enum Kind { K_OPEN, K_READ, K_WRITE, K_FSYNC, K_RENAME, K_UNLINK, K_CLOSE, K_LINK, K_LEASE, K_COUNT };
static const char* const kKindNames[K_COUNT] = {"open",   "read",  "write", "fsync", "rename",
                                                "unlink", "close", "link",  "lease"};

enum Action { A_FAIL, A_KILL, A_PAUSE, A_APPEND, A_SIGNAL };

static struct {
    int ready;
    int kinds[K_COUNT];
    const char* path;
    long nth, times;
    int err;
    int action;
    const char* arg;
    const char* report;
    const char* trace;
    long counted, fired;
} g;

/* The C library's functions, looked up once. */
#define REAL(name) real_##name
#define DECLARE_REAL(ret, name, ...) static ret (*REAL(name))(__VA_ARGS__)
DECLARE_REAL(int, open, const char*, int, ...);
DECLARE_REAL(int, open64, const char*, int, ...);
DECLARE_REAL(int, openat, int, const char*, int, ...);
DECLARE_REAL(int, openat64, int, const char*, int, ...);
DECLARE_REAL(int, __open_2, const char*, int);
DECLARE_REAL(int, __open64_2, const char*, int);
DECLARE_REAL(int, __openat_2, int, const char*, int);
DECLARE_REAL(int, __openat64_2, int, const char*, int);
DECLARE_REAL(int, creat, const char*, mode_t);
DECLARE_REAL(int, creat64, const char*, mode_t);
DECLARE_REAL(FILE*, fopen, const char*, const char*);
DECLARE_REAL(FILE*, fopen64, const char*, const char*);
DECLARE_REAL(DIR*, opendir, const char*);
DECLARE_REAL(ssize_t, read, int, void*, size_t);
DECLARE_REAL(ssize_t, __read_chk, int, void*, size_t, size_t);
DECLARE_REAL(ssize_t, pread, int, void*, size_t, off_t);
DECLARE_REAL(ssize_t, pread64, int, void*, size_t, off_t);
DECLARE_REAL(ssize_t, write, int, const void*, size_t);
DECLARE_REAL(ssize_t, pwrite, int, const void*, size_t, off_t);
DECLARE_REAL(ssize_t, pwrite64, int, const void*, size_t, off_t);
DECLARE_REAL(int, fsync, int);
DECLARE_REAL(int, fdatasync, int);
DECLARE_REAL(int, rename, const char*, const char*);
DECLARE_REAL(int, renameat, int, const char*, int, const char*);
DECLARE_REAL(int, renameat2, int, const char*, int, const char*, unsigned);
DECLARE_REAL(int, unlink, const char*);
DECLARE_REAL(int, unlinkat, int, const char*, int);
DECLARE_REAL(int, remove, const char*);
DECLARE_REAL(int, close, int);
DECLARE_REAL(int, link, const char*, const char*);
DECLARE_REAL(int, linkat, int, const char*, int, const char*, int);
DECLARE_REAL(int, fcntl, int, int, ...);
DECLARE_REAL(int, fcntl64, int, int, ...);

/* The form POSIX gives for storing a function found by dlsym. */
#define LOOKUP(name) (*(void**)(&REAL(name)) = dlsym(RTLD_NEXT, #name))

static int ErrnoByName(const char* text)
{
    static const struct {
        const char* name;
        int value;
    } names[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO}, {"EACCES", EACCES}, {"EINTR", EINTR},
                 {"EFBIG", EFBIG},   {"EROFS", EROFS}, {"EPERM", EPERM}, {"EDQUOT", EDQUOT},
                 {"EAGAIN", EAGAIN}, {"EINVAL", EINVAL}};
    if (!text || !*text)
        return EIO;
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (strcmp(text, names[i].name) == 0)
            return names[i].value;
    return atoi(text) > 0 ? atoi(text) : EIO;
}

static void Setup(void)
{
    if (g.ready)
        return;
    LOOKUP(open); LOOKUP(open64); LOOKUP(openat); LOOKUP(openat64);
    LOOKUP(__open_2); LOOKUP(__open64_2); LOOKUP(__openat_2); LOOKUP(__openat64_2);
    LOOKUP(creat); LOOKUP(creat64); LOOKUP(fopen); LOOKUP(fopen64); LOOKUP(opendir);
    LOOKUP(read); LOOKUP(__read_chk); LOOKUP(pread); LOOKUP(pread64);
    LOOKUP(write); LOOKUP(pwrite); LOOKUP(pwrite64);
    LOOKUP(fsync); LOOKUP(fdatasync);
    LOOKUP(rename); LOOKUP(renameat); LOOKUP(renameat2);
    LOOKUP(unlink); LOOKUP(unlinkat); LOOKUP(remove);
    LOOKUP(close); LOOKUP(link); LOOKUP(linkat); LOOKUP(fcntl); LOOKUP(fcntl64);

    /* Whole words only: "unlink" does not select "link". */
    const char* kinds = getenv("TAMBLE_FAULT_CALL");
    for (const char* at = kinds; at && *at;) {
        const size_t length = strcspn(at, ",");
        for (int k = 0; k < K_COUNT; ++k)
            if ((length == strlen(kKindNames[k]) && strncmp(at, kKindNames[k], length) == 0)
                || (length == 3 && strncmp(at, "any", 3) == 0))
                g.kinds[k] = 1;
        at += length + (at[length] == ',');
    }
    g.path = getenv("TAMBLE_FAULT_PATH");
    if (g.path && !*g.path)
        g.path = NULL;
    g.nth = getenv("TAMBLE_FAULT_NTH") ? atol(getenv("TAMBLE_FAULT_NTH")) : 0;
    g.times = getenv("TAMBLE_FAULT_TIMES") ? atol(getenv("TAMBLE_FAULT_TIMES")) : 1;
    g.err = ErrnoByName(getenv("TAMBLE_FAULT_ERRNO"));
    const char* action = getenv("TAMBLE_FAULT_ACTION");
    g.action = !action ? A_FAIL
               : strcmp(action, "kill") == 0 ? A_KILL
               : strcmp(action, "pause") == 0 ? A_PAUSE
               : strcmp(action, "append") == 0 ? A_APPEND
               : strcmp(action, "signal") == 0 ? A_SIGNAL
               : A_FAIL;
    g.arg = getenv("TAMBLE_FAULT_ARG");
    g.report = getenv("TAMBLE_FAULT_REPORT");
    g.trace = getenv("TAMBLE_FAULT_TRACE");
    g.ready = 1;
}

__attribute__((constructor)) static void Init(void) { Setup(); }

static void WriteText(const char* file, const char* text, int flags)
{
    const int fd = REAL(open)(file, O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    if (fd < 0)
        return;
    if (REAL(write)(fd, text, strlen(text)) < 0) {
        /* nothing to do: the test sees the missing text */
    }
    REAL(close)(fd);
}

__attribute__((destructor)) static void Report(void)
{
    if (!g.report)
        return;
    char text[96];
    snprintf(text, sizeof text, "calls=%ld fired=%ld\n", g.counted, g.fired);
    WriteText(g.report, text, O_TRUNC);
}

/* The path a descriptor names, for matching. */
static int DescriptorPath(int fd, char* out, size_t size)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, out, size - 1);
    if (n < 0)
        return 0;
    out[n] = '\0';
    return 1;
}

/* Libraries' static initialisers may call in before this library's own. */
static int PathMatches(const char* path)
{
    Setup();
    if (!g.path)
        return 1;
    if (!path)
        return 0;
    if (strstr(path, g.path))
        return 1;
    /* The program writes its temporaries through /proc/self/fd/N. */
    int fd = -1;
    char resolved[4096 + 64];
    if (sscanf(path, "/proc/self/fd/%d", &fd) == 1 && DescriptorPath(fd, resolved, sizeof resolved))
        return strstr(resolved, g.path) != NULL;
    return 0;
}

/* A name relative to a folder's descriptor, as the path that folder has now
 * (the program works relative to the folders it opened). */
static const char* AtPath(int dir, const char* path, char* out, size_t size)
{
    if (!path || path[0] == '/' || dir == AT_FDCWD || !DescriptorPath(dir, out, size - 1))
        return path;
    const size_t used = strlen(out);
    snprintf(out + used, size - used, "/%s", path);
    return out;
}

static int DescriptorMatches(int fd)
{
    Setup();
    if (!g.path)
        return 1;
    char resolved[4096 + 64];
    return DescriptorPath(fd, resolved, sizeof resolved) && strstr(resolved, g.path) != NULL;
}

static void Pause(void)
{
    if (!g.arg)
        return;
    char reached[4096 + 16];
    snprintf(reached, sizeof reached, "%s.reached", g.arg);
    WriteText(reached, "reached\n", O_TRUNC);
    /* Bounded: a test that never resumes us must not hang the suite. */
    for (int i = 0; i < 1200 && access(g.arg, F_OK) != 0; ++i) {
        struct timespec delay = {0, 100 * 1000 * 1000};
        nanosleep(&delay, NULL);
    }
}

/* Counts a call of kind k that concerns a matching path; returns the errno to
 * fail it with, or 0 to let it through (after any kill, pause or change). */
static int Decide(int k, int matches, const char* path, int fd)
{
    Setup();
    if (!g.kinds[k] || !matches)
        return 0;
    const long n = __atomic_add_fetch(&g.counted, 1, __ATOMIC_SEQ_CST);
    if (g.trace) {
        char resolved[4096 + 64] = "";
        if (!path && fd >= 0 && DescriptorPath(fd, resolved, sizeof resolved))
            path = resolved;
        char line[4096 + 160];
        snprintf(line, sizeof line, "%ld %s %s\n", n, kKindNames[k], path ? path : "?");
        WriteText(g.trace, line, O_APPEND);
    }
    if (g.nth <= 0 || n < g.nth || (g.times > 0 && n >= g.nth + g.times))
        return 0;
    __atomic_add_fetch(&g.fired, 1, __ATOMIC_SEQ_CST);
    switch (g.action) {
    case A_KILL:
        kill(getpid(), SIGKILL);
        return 0;
    case A_PAUSE:
        Pause();
        return 0;
    case A_APPEND:
        if (g.arg)
            WriteText(g.arg, "!", O_APPEND);
        return 0;
    case A_SIGNAL:
        if (g.arg)
            kill(getpid(), atoi(g.arg));
        return 0;
    default:
        return g.err;
    }
}

#define FAIL_WITH(value, code) \
    do {                       \
        errno = (code);        \
        return (value);        \
    } while (0)

static mode_t ModeArg(int flags, va_list args)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
}

/* --- open ------------------------------------------------------------------ */

#define OPEN_BODY(realcall)                            \
    int e = Decide(K_OPEN, PathMatches(path), path, -1);         \
    if (e)                                             \
        FAIL_WITH(-1, e);                              \
    return realcall

#define OPEN_AT_BODY(realcall)                                 \
    char at[4096 + 64];                                        \
    const char* named = AtPath(dir, path, at, sizeof at);      \
    int e = Decide(K_OPEN, PathMatches(named), named, -1);     \
    if (e)                                                     \
        FAIL_WITH(-1, e);                                      \
    return realcall

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArg(flags, args);
    va_end(args);
    OPEN_BODY(REAL(open)(path, flags, mode));
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArg(flags, args);
    va_end(args);
    OPEN_BODY(REAL(open64)(path, flags, mode));
}

int openat(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArg(flags, args);
    va_end(args);
    OPEN_AT_BODY(REAL(openat)(dir, path, flags, mode));
}

int openat64(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArg(flags, args);
    va_end(args);
    OPEN_AT_BODY(REAL(openat64)(dir, path, flags, mode));
}

int __open_2(const char* path, int flags) { OPEN_BODY(REAL(__open_2)(path, flags)); }
int __open64_2(const char* path, int flags) { OPEN_BODY(REAL(__open64_2)(path, flags)); }
int __openat_2(int dir, const char* path, int flags) { OPEN_AT_BODY(REAL(__openat_2)(dir, path, flags)); }
int __openat64_2(int dir, const char* path, int flags) { OPEN_AT_BODY(REAL(__openat64_2)(dir, path, flags)); }
int creat(const char* path, mode_t mode) { OPEN_BODY(REAL(creat)(path, mode)); }
int creat64(const char* path, mode_t mode) { OPEN_BODY(REAL(creat64)(path, mode)); }

FILE* fopen(const char* path, const char* mode)
{
    int e = Decide(K_OPEN, PathMatches(path), path, -1);
    if (e)
        FAIL_WITH(NULL, e);
    return REAL(fopen)(path, mode);
}

FILE* fopen64(const char* path, const char* mode)
{
    int e = Decide(K_OPEN, PathMatches(path), path, -1);
    if (e)
        FAIL_WITH(NULL, e);
    return REAL(fopen64)(path, mode);
}

DIR* opendir(const char* path)
{
    int e = Decide(K_OPEN, PathMatches(path), path, -1);
    if (e)
        FAIL_WITH(NULL, e);
    return REAL(opendir)(path);
}

/* --- read and write -------------------------------------------------------- */

#define FD_BODY(kind, failvalue, realcall)            \
    int e = Decide(kind, DescriptorMatches(fd), NULL, fd);       \
    if (e)                                             \
        FAIL_WITH(failvalue, e);                       \
    return realcall

ssize_t read(int fd, void* buf, size_t count) { FD_BODY(K_READ, -1, REAL(read)(fd, buf, count)); }
ssize_t __read_chk(int fd, void* buf, size_t count, size_t size)
{
    FD_BODY(K_READ, -1, REAL(__read_chk)(fd, buf, count, size));
}
ssize_t pread(int fd, void* buf, size_t count, off_t at) { FD_BODY(K_READ, -1, REAL(pread)(fd, buf, count, at)); }
ssize_t pread64(int fd, void* buf, size_t count, off_t at)
{
    FD_BODY(K_READ, -1, REAL(pread64)(fd, buf, count, at));
}
ssize_t write(int fd, const void* buf, size_t count) { FD_BODY(K_WRITE, -1, REAL(write)(fd, buf, count)); }
ssize_t pwrite(int fd, const void* buf, size_t count, off_t at)
{
    FD_BODY(K_WRITE, -1, REAL(pwrite)(fd, buf, count, at));
}
ssize_t pwrite64(int fd, const void* buf, size_t count, off_t at)
{
    FD_BODY(K_WRITE, -1, REAL(pwrite64)(fd, buf, count, at));
}
int fsync(int fd) { FD_BODY(K_FSYNC, -1, REAL(fsync)(fd)); }
int fdatasync(int fd) { FD_BODY(K_FSYNC, -1, REAL(fdatasync)(fd)); }

int close(int fd)
{
    /* As on Linux, the descriptor is gone even when close reports an error. */
    int e = Decide(K_CLOSE, DescriptorMatches(fd), NULL, fd);
    const int result = REAL(close)(fd);
    if (e)
        FAIL_WITH(-1, e);
    return result;
}

/* --- names ----------------------------------------------------------------- */

/* A call on two names counts when either matches. */
#define PAIR_BODY(kind, realcall)                                                                   \
    int e = Decide(kind, PathMatches(from) || PathMatches(to), PathMatches(from) ? from : to, -1); \
    if (e)                                                                                          \
        FAIL_WITH(-1, e);                                                                           \
    return realcall

int rename(const char* from, const char* to) { PAIR_BODY(K_RENAME, REAL(rename)(from, to)); }
/* The same for names relative to folders' descriptors. */
#define PAIR_AT_BODY(kind, realcall)                                  \
    char fromAt[4096 + 64], toAt[4096 + 64];                          \
    const char* fromNamed = AtPath(fromDir, from, fromAt, sizeof fromAt); \
    const char* toNamed = AtPath(toDir, to, toAt, sizeof toAt);       \
    const int fromMatches = PathMatches(fromNamed);                   \
    int e = Decide(kind, fromMatches || PathMatches(toNamed), fromMatches ? fromNamed : toNamed, -1); \
    if (e)                                                            \
        FAIL_WITH(-1, e);                                             \
    return realcall

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    PAIR_AT_BODY(K_RENAME, REAL(renameat)(fromDir, from, toDir, to));
}
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags)
{
    Setup();
    if (!REAL(renameat2))
        FAIL_WITH(-1, ENOSYS);   /* a C library without it */
    PAIR_AT_BODY(K_RENAME, REAL(renameat2)(fromDir, from, toDir, to, flags));
}
int link(const char* from, const char* to) { PAIR_BODY(K_LINK, REAL(link)(from, to)); }
int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    PAIR_AT_BODY(K_LINK, REAL(linkat)(fromDir, from, toDir, to, flags));
}

int unlink(const char* path)
{
    int e = Decide(K_UNLINK, PathMatches(path), path, -1);
    if (e)
        FAIL_WITH(-1, e);
    return REAL(unlink)(path);
}

int unlinkat(int dir, const char* path, int flags)
{
    char at[4096 + 64];
    const char* named = AtPath(dir, path, at, sizeof at);
    int e = Decide(K_UNLINK, PathMatches(named), named, -1);
    if (e)
        FAIL_WITH(-1, e);
    return REAL(unlinkat)(dir, path, flags);
}

/* remove() reaches unlink inside the C library, where no preload sees it. */
int remove(const char* path)
{
    int e = Decide(K_UNLINK, PathMatches(path), path, -1);
    if (e)
        FAIL_WITH(-1, e);
    return REAL(remove)(path);
}

/* --- leases ---------------------------------------------------------------- */

/* Every command passes its argument on as a pointer-sized value; only taking a
 * lease is counted. */
#define FCNTL_BODY(realfn)                                                         \
    va_list args;                                                                  \
    va_start(args, cmd);                                                           \
    void* arg = va_arg(args, void*);                                               \
    va_end(args);                                                                  \
    if (cmd == F_SETLEASE && (long)arg != F_UNLCK) {                               \
        int e = Decide(K_LEASE, DescriptorMatches(fd), NULL, fd);                  \
        if (e)                                                                     \
            FAIL_WITH(-1, e);                                                      \
    }                                                                              \
    return realfn(fd, cmd, arg)

int fcntl(int fd, int cmd, ...) { Setup(); FCNTL_BODY(REAL(fcntl)); }
int fcntl64(int fd, int cmd, ...)
{
    Setup();
    if (!REAL(fcntl64))
        REAL(fcntl64) = REAL(fcntl);
    FCNTL_BODY(REAL(fcntl64));
}
