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
#pragma once

#include <csignal>
#include <string>

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
    bool m_bSignalSaved = false;
    struct sigaction m_oldAction {};
};

// Ignores the lease break signal while it lives (a batch holds leases on many
// threads: each lease restores the action it found, which is then this one).
class CLeaseSignalIgnored {
public:
    CLeaseSignalIgnored();
    ~CLeaseSignalIgnored();
    CLeaseSignalIgnored(const CLeaseSignalIgnored&) = delete;
    CLeaseSignalIgnored& operator=(const CLeaseSignalIgnored&) = delete;

private:
    bool m_bSaved = false;
    struct sigaction m_saved {};
};
