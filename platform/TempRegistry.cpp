// The registry of temporaries in flight and the stop-signal handler.
#include "platform/TempRegistry.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <new>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr std::size_t SLOT_BYTES = PATH_MAX;

// A slot is claimed (Writing) before its path is copied in and published
// (Ready) after; the handler takes only Ready slots, claiming them for itself
// (Removing) so that no thread frees one under it.  Only the holder of a slot's
// number frees it, from whatever thread.
enum SlotState : int { Free, Writing, Ready, Removing };

// The states apart from the paths, so that a search reads a few cache lines.
std::atomic<int> g_states[TEMPORARY_SLOTS];
// Each slot's path and, behind it, where a set-aside file goes back ("" for a
// temporary), in a block of its own that the slot keeps for its next use: fixed
// arrays of PATH_MAX a slot would touch a fresh page for every slot used.
char* g_texts[TEMPORARY_SLOTS];
std::size_t g_textRoom[TEMPORARY_SLOTS];
// The folder each slot's names are relative to (AT_FDCWD: paths).
int g_dirs[TEMPORARY_SLOTS];

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs lock-free atomics");

constexpr int STOP_SIGNALS[] = {SIGTERM, SIGINT, SIGHUP};

// Files being created (registered, their open or rename not yet returned), and
// whether a stop has begun.  The handler waits for the creations of other
// threads to return before it sweeps; a thread that begins one after the stop
// waits for the end instead, so no file can appear behind the sweep.
std::atomic<int> g_nCreating {0};
std::atomic<bool> g_bStopping {false};
thread_local int t_nCreating = 0;

static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs lock-free atomics");

void AwaitOtherCreations()
{
    const struct timespec tick = {0, 1000 * 1000};
    for (int waited = 0; waited < 2000 && g_nCreating.load() > t_nCreating; ++waited)
        ::nanosleep(&tick, nullptr);   // an open or rename returns in far less; 2 s at most
}

void OnStopSignal(int sig)
{
    g_bStopping.store(true);
    AwaitOtherCreations();
    RemoveRegisteredTemporaries();
    // Die of the same signal, with its default action, once it is unblocked.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(sig, &action, nullptr);
    ::raise(sig);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::_exit(128 + sig);   // not reached
}

}   // namespace

void InstallStopSignals()
{
    std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : STOP_SIGNALS)
        sigaddset(&action.sa_mask, sig);   // one handler at a time
    action.sa_flags = SA_RESTART;
    for (int sig : STOP_SIGNALS) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        ::sigaction(sig, &action, nullptr);
    }
}

int RegisterTemporary(const char* path)
{
    return RegisterSetAsideAt(AT_FDCWD, path, "");
}

int RegisterSetAside(const char* path, const char* original)
{
    return RegisterSetAsideAt(AT_FDCWD, path, original);
}

int RegisterTemporaryAt(int dir, const char* name)
{
    return RegisterSetAsideAt(dir, name, "");
}

int RegisterSetAsideAt(int dir, const char* path, const char* original)
{
    const std::size_t length = std::strlen(path);
    const std::size_t restoreLength = std::strlen(original);
    ++t_nCreating;
    g_nCreating.fetch_add(1);
    if (g_bStopping.load()) {
        // The process is ending by a stop signal: create nothing more.
        for (;;)
            ::pause();
    }
    if (length >= SLOT_BYTES || restoreLength >= SLOT_BYTES)
        return NO_TEMPORARY_SLOT;
    for (std::size_t i = 0; i < TEMPORARY_SLOTS; ++i) {
        int expected = Free;
        if (g_states[i].load(std::memory_order_relaxed) != Free
            || !g_states[i].compare_exchange_strong(expected, Writing, std::memory_order_acquire))
            continue;
        const std::size_t need = length + restoreLength + 2;
        if (g_textRoom[i] < need) {
            const std::size_t room = (need + 127) / 128 * 128;
            char* text = new (std::nothrow) char[room];
            if (!text) {
                g_states[i].store(Free, std::memory_order_release);
                return NO_TEMPORARY_SLOT;
            }
            delete[] g_texts[i];   // nobody reads a slot being written
            g_texts[i] = text;
            g_textRoom[i] = room;
        }
        std::memcpy(g_texts[i], path, length + 1);
        std::memcpy(g_texts[i] + length + 1, original, restoreLength + 1);
        g_dirs[i] = dir;
        g_states[i].store(Ready, std::memory_order_release);
        return static_cast<int>(i);
    }
    return NO_TEMPORARY_SLOT;
}

void CreationReturned()
{
    if (t_nCreating > 0) {
        g_nCreating.fetch_sub(1);
        --t_nCreating;
    }
}

void UnregisterTemporary(int slot)
{
    if (slot < 0 || static_cast<std::size_t>(slot) >= TEMPORARY_SLOTS)
        return;
    // A slot the handler has taken stays with it: the process is ending.
    int expected = Ready;
    g_states[slot].compare_exchange_strong(expected, Free, std::memory_order_release);
}

void RemoveRegisteredTemporaries()
{
    for (std::size_t i = 0; i < TEMPORARY_SLOTS; ++i) {
        int expected = Ready;
        if (g_states[i].load(std::memory_order_acquire) != Ready
            || !g_states[i].compare_exchange_strong(expected, Removing, std::memory_order_acquire))
            continue;
        const char* path = g_texts[i];
        const char* restore = path;
        while (*restore++ != '\0') {}   // the text behind the path's end
        const int dir = g_dirs[i];
        if (restore[0] == '\0')
            ::unlinkat(dir, path, 0);
        else   // never over a file that took the name meanwhile; the next run sees to it then
            ::syscall(SYS_renameat2, dir, path, dir, restore, RENAME_NOREPLACE);
    }
}
