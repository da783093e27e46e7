// CFileLease: a write lease on a file, to be sure that nobody else has it open.
//
// The kernel grants a write lease only while no other descriptor of the file is
// open (ours included), and makes anyone who opens it later wait until the lease
// is released (at most /proc/sys/fs/lease-break-time seconds), telling the holder
// by a signal.  Held for a moment around a deletion, it keeps the deletion from
// taking a file from under a writer.  The lease break signal (SIGIO) is ignored
// while a lease is held, so an opener never ends the process; a break is seen
// with Broken() instead.
//
// Where the file system or the user's rights give no leases (network and some
// layered file systems, a file of another user without CAP_LEASE, leases turned
// off), Take says so and the caller is left with the descriptor alone.
//
// On Windows (platform/win32/FileLease.cpp) the lease is an oplock
// (FSCTL_REQUEST_OPLOCK, read-write-handle caching): granted only while no other
// handle has the file open, and an opener waits for us to let it go, which
// Broken sees.  Where no oplock can be had the file is held open sharing no
// reading or writing for the check and the deletion: nobody else can have it
// open meanwhile (an opener is refused, not kept waiting), so it counts as held.
// Either way, a rename or deletion of the leased name goes through our handle.
#pragma once

#include <string>

#ifndef _WIN32
#include <csignal>
#endif

class CFileLease {
public:
    enum class Result {
        Held,          // the lease is ours: nobody else has the file open
        InUse,         // another descriptor of the file is open
        Unsupported,   // no lease to be had here; the descriptor is open
        Failed         // the file could not be opened (error gives why)
    };

    CFileLease() = default;
    ~CFileLease();
    CFileLease(const CFileLease&) = delete;
    CFileLease& operator=(const CFileLease&) = delete;

    // Opens name in the folder open at dir read-only (never through a link,
    // never blocking on another's lease or on a FIFO) and tries to take a write
    // lease on it.  Unsupported leaves the reason in error.
    Result Take(int dir, const std::string& name, int& error);

    // The open descriptor (with or without the lease), or -1.
    int Handle() const { return m_hFile; }
    bool Held() const { return m_bHeld; }

    // Whether someone has tried to open the file since the lease was taken (and
    // now waits for its release).
    bool Broken() const;

    // Gives the lease up and closes the descriptor.
    void Release();

private:
    int m_hFile = -1;
    bool m_bHeld = false;
#ifdef _WIN32
    struct Oplock;   // the pending oplock request, while one is held (owned)
    Oplock* m_pOplock = nullptr;
#else
    bool m_bSignalSaved = false;
    struct sigaction m_oldAction {};
#endif
};

// Ignores the lease break signal while it lives (a batch holds leases on many
// threads: each lease restores the action it found, which is then this one).
// Windows tells of a break through the oplock's request, not by a signal:
// there is nothing to ignore.
class CLeaseSignalIgnored {
public:
    CLeaseSignalIgnored();
    ~CLeaseSignalIgnored();
    CLeaseSignalIgnored(const CLeaseSignalIgnored&) = delete;
    CLeaseSignalIgnored& operator=(const CLeaseSignalIgnored&) = delete;

private:
#ifndef _WIN32
    bool m_bSaved = false;
    struct sigaction m_saved {};
#endif
};
