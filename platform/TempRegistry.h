// The temporaries in flight, and what the program does on the signals that stop
// it.
//
// A target is written to a temporary that is renamed over the target when it is
// complete (jobs/SafeTarget).  Each temporary is registered from its creation
// until it is renamed or removed.  On SIGTERM, SIGINT or SIGHUP (a stopped
// service, Ctrl-C, a closed terminal) the handler removes the registered
// temporaries and nothing else, then ends the process by the same signal with
// its default action, so that the parent sees a death by that signal (a shell
// reports 128 + the signal's number, a service manager a clean stop), as gzip
// and zstd do.  A plain file that is set aside for its deletion at that moment
// is put back under its name.  Every other file is whole at every moment: a
// target appears by one rename, so a stop between two steps leaves what the
// next run finishes.
//
// SIGXFSZ is ignored, so that a file-size limit (ulimit -f, LimitFSIZE=) makes
// the write fail with EFBIG, which is reported like any write error, instead
// of killing the process with its temporary left behind.
//
// The registry is a fixed set of slots, each holding its paths in a block it
// keeps, so that the handler needs no allocation and no lock; slots are claimed
// with atomic operations, so several threads may register temporaries at once.
//
// On Windows (platform/win32/TempRegistry.cpp) the console's control events
// (Ctrl-C, Ctrl-Break, a closed console, log-off, shutdown) take the signals'
// place, on a thread of the system's; the process then ends with
// STATUS_CONTROL_C_EXIT.
#pragma once

#include <cstddef>

// Paths the registry holds at once: room for a history job with the most
// workers, its files done but not yet settled, and the group being settled.
constexpr std::size_t TEMPORARY_SLOTS = 1024;
constexpr int NO_TEMPORARY_SLOT = -1;

// Ignores SIGXFSZ and installs the handler of SIGTERM, SIGINT and SIGHUP.  A
// signal that was ignored when the program started (nohup, a shell's
// background job without job control) stays ignored.
void InstallStopSignals();

// Registering begins a creation, which CreationReturned ends once the call
// that makes the file (its open, or the rename that sets it aside) returned,
// whether it made the file or not; a stop signal waits for creations under
// way in other threads before it sweeps.
//
// Registers path (relative paths are taken from the current folder, which the
// program never changes) and returns its slot, NO_TEMPORARY_SLOT when it cannot
// be held (every slot in use, or a path longer than a slot): the temporary is
// then not removed on a signal.
int RegisterTemporary(const char* path);

// Registers a file set aside under path that a stop signal renames back to
// original (never over an existing file).  Returns its slot as above.
int RegisterSetAside(const char* path, const char* original);

// The same for names in the folder open at dir, which stays open while the
// name is registered: a stop signal works in that folder whatever its path
// leads to by then.
int RegisterTemporaryAt(int dir, const char* name);
int RegisterSetAsideAt(int dir, const char* name, const char* original);

// Ends the creation the last registration of this thread began.
void CreationReturned();

// Forgets the path in slot; any thread may (a history job renames on its own
// thread the temporaries its workers made).  Nothing for NO_TEMPORARY_SLOT.
void UnregisterTemporary(int slot);

// Removes every registered temporary and puts back every set-aside file; safe
// inside a signal handler.
void RemoveRegisteredTemporaries();
