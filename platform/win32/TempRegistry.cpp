// The registry of temporaries in flight and the stop handler on Win32.
//
// Windows stops a console program with a control event (Ctrl-C, Ctrl-Break, the
// console closed, log-off, shutdown), which SetConsoleCtrlHandler hands to a
// thread of its own.  The handler removes the registered temporaries (through
// their handles: a temporary shares no deletion) and puts back the set-aside
// files (never over a file that took the name), then ends the process with
// STATUS_CONTROL_C_EXIT, the status a program stopped by Ctrl-C has.  There is no
// file-size signal to ignore.
//
// Slots are claimed as on Linux; each holds the full paths it names, made when
// it is registered, so that the handler needs nothing but the slot.
#include "platform/TempRegistry.h"

#include "platform/win32/Win32.h"

#include <atomic>
#include <new>
#include <string>

namespace {

// Free -> Writing -> Ready -> (Removing: the handler's; Held: being renamed) -> Free.
enum SlotState : int { Free, Writing, Ready, Removing, Held };

std::atomic<int> g_states[TEMPORARY_SLOTS];
std::wstring* g_paths[TEMPORARY_SLOTS];           // the file's path
std::wstring* g_restores[TEMPORARY_SLOTS];        // where a set-aside file goes back ("" for a temporary)
std::atomic<HANDLE> g_handles[TEMPORARY_SLOTS];   // a temporary's own handle, once it is open

std::atomic<int> g_nCreating {0};
std::atomic<bool> g_bStopping {false};
thread_local int t_nCreating = 0;

constexpr DWORD STOPPED_STATUS = 0xC000013A;   // STATUS_CONTROL_C_EXIT

[[noreturn]] void WaitForTheEnd()
{
    for (;;)
        ::Sleep(INFINITE);
}

BOOL WINAPI OnStopEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    g_bStopping.store(true);
    // Creations under way in other threads return first (2 s at most).
    for (int waited = 0; waited < 2000 && g_nCreating.load() > 0; ++waited)
        ::Sleep(1);
    RemoveRegisteredTemporaries();
    ::TerminateProcess(::GetCurrentProcess(), STOPPED_STATUS);
    return TRUE;
}

int Register(int dir, const char* name, const char* original)
{
    ++t_nCreating;
    g_nCreating.fetch_add(1);
    if (g_bStopping.load())
        WaitForTheEnd();   // the process is ending: create nothing more
    std::wstring path, restore;
    try {
        if (!EntryPath(dir, name, path) || (*original && !EntryPath(dir, original, restore)))
            return NO_TEMPORARY_SLOT;
    } catch (const std::bad_alloc&) {
        return NO_TEMPORARY_SLOT;
    }
    for (std::size_t i = 0; i < TEMPORARY_SLOTS; ++i) {
        int expected = Free;
        if (g_states[i].load(std::memory_order_relaxed) != Free
            || !g_states[i].compare_exchange_strong(expected, Writing, std::memory_order_acquire))
            continue;
        try {
            if (!g_paths[i]) {
                g_paths[i] = new std::wstring;
                g_restores[i] = new std::wstring;
            }
            *g_paths[i] = path;
            *g_restores[i] = restore;
        } catch (const std::bad_alloc&) {
            g_states[i].store(Free, std::memory_order_release);
            return NO_TEMPORARY_SLOT;
        }
        g_handles[i].store(nullptr);
        g_states[i].store(Ready, std::memory_order_release);
        return static_cast<int>(i);
    }
    return NO_TEMPORARY_SLOT;
}

bool ValidSlot(int slot)
{
    return slot >= 0 && static_cast<std::size_t>(slot) < TEMPORARY_SLOTS;
}

}   // namespace

void InstallStopSignals()
{
    // A console started with Ctrl-C ignored (a detached start) keeps ignoring it.
    ::SetConsoleCtrlHandler(OnStopEvent, TRUE);
}

int RegisterTemporary(const char* path)
{
    return Register(CURRENT_FOLDER_HANDLE, path, "");
}

int RegisterSetAside(const char* path, const char* original)
{
    return Register(CURRENT_FOLDER_HANDLE, path, original);
}

int RegisterTemporaryAt(int dir, const char* name)
{
    return Register(dir, name, "");
}

int RegisterSetAsideAt(int dir, const char* name, const char* original)
{
    return Register(dir, name, original);
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
    if (!ValidSlot(slot))
        return;
    int expected = Ready;
    if (g_states[slot].compare_exchange_strong(expected, Free, std::memory_order_release))
        return;
    // The handler has it, and may be using its handle: the process is ending, and
    // the caller must not close that handle under it.
    if (expected == Removing)
        WaitForTheEnd();
}

void NoteTemporaryHandle(int slot, HANDLE handle)
{
    if (ValidSlot(slot))
        g_handles[slot].store(handle);
}

void HoldTemporary(int slot)
{
    if (!ValidSlot(slot))
        return;
    int expected = Ready;
    if (!g_states[slot].compare_exchange_strong(expected, Held, std::memory_order_acquire) && expected == Removing)
        WaitForTheEnd();
}

void UnholdTemporary(int slot, bool stillThere)
{
    if (ValidSlot(slot))
        g_states[slot].store(stillThere ? Ready : Free, std::memory_order_release);
}

void RemoveRegisteredTemporaries()
{
    for (std::size_t i = 0; i < TEMPORARY_SLOTS; ++i) {
        int expected = Ready;
        if (g_states[i].load(std::memory_order_acquire) != Ready
            || !g_states[i].compare_exchange_strong(expected, Removing, std::memory_order_acquire))
            continue;
        if (!g_restores[i]->empty())
            RenameEntry(*g_paths[i], *g_restores[i], false);   // never over a file that took the name
        else if (HANDLE handle = g_handles[i].load())
            DeleteOwnThrough(handle);
        else
            DeleteEntry(*g_paths[i]);
    }
}
