// CSafeTarget: a target file that appears complete or not at all.
//
// The content is written to a temporary file in the target's folder, named
// ".<target name>.tamble-tmp.<pid>.<n>" so that a left-over of a killed run is
// easy to recognise (and never matches a history file pattern).  The temporary
// is created exclusively (O_EXCL) and never through a symbolic link
// (O_NOFOLLOW), in the folder the job opened once; the stream then opens it through our own descriptor
// (/proc/self/fd/N) where the system offers that, so nothing can be slipped in
// between.  Commit gives it the permission bits and times of the source, forces
// it to disk, renames it over the target and forces the folder to disk (or
// leaves that to the caller, for a batch of targets).  Any failure, and
// destruction without Commit, removes the temporary and leaves an existing
// target as it was.
//
// A run that is killed leaves its temporary behind.  RemoveStale removes such
// left-overs: only files named like our temporaries, only in the one folder the
// job works on, and only those of processes that no longer run.
//
// Calls that a signal interrupts (EINTR) are repeated: an interruption is never
// a failure.
//
// On Windows (platform/win32/SafeTarget.cpp) the temporary is held open without
// sharing deletion, so its path cannot lead elsewhere, and it is renamed into
// place and removed through that handle.
#pragma once

#include "platform/Folder.h"
#include "platform/TempRegistry.h"

#include <cstddef>
#include <string>
#include <vector>

class CSafeTarget {
public:
    CSafeTarget() = default;
    ~CSafeTarget();
    CSafeTarget(const CSafeTarget&) = delete;
    // Takes over the temporary (a history job hands it to the group that renames it).
    CSafeTarget(CSafeTarget&& from) noexcept;
    CSafeTarget& operator=(const CSafeTarget&) = delete;

    // Creates the temporary for target, a name in folder, in that folder (never
    // through a path that could lead elsewhere by then); false with the cause
    // when it cannot (also when target is an existing file that we may not
    // write).  The path form opens the target's folder first.
    bool Create(const CFolder& folder, const std::string& target, std::string& cause);
    bool Create(const std::string& target, std::string& cause);

    // The path a stream opens to write the temporary.
    const std::string& StreamPath() const { return m_strStreamPath; }
    const std::string& TempPath() const { return m_strTemp; }

    // Completes the target.  The permission bits become those of source, and
    // its access ACL acl (from ReadAccessAcl of the source; none without one),
    // never wider: when the source's group cannot be kept the group bits are
    // dropped and "other" keeps no bit the group lacked.  Its access and
    // modification times become those of source.  With replace false an
    // existing target is never overwritten (the commit fails instead).  False
    // with the cause on failure; the temporary is gone either way.
    bool Commit(const FileInfo& source, bool replace, std::string& cause, const std::vector<char>* acl = nullptr);
    // Commit in two steps: Stage gives the temporary its permissions, ACL and
    // times; Finish forces it to disk and renames it over the target (and
    // syncs the folder unless deferred).  Between them the temporary can be
    // read through StreamPath, and handed on.
    bool Stage(const FileInfo& source, std::string& cause, const std::vector<char>* acl = nullptr);
    bool Finish(bool replace, std::string& cause);
    // Forces the staged temporary to disk, ahead of Finish, which then does not
    // again; may run on another thread (nothing else touches the object meanwhile).
    // Later calls give the first one's answer: after a failed sync a second one
    // may succeed with the data lost.
    bool Sync(std::string& cause);

    // Commit leaves the folder to the caller, who syncs it once for many
    // targets (SyncFolder) before relying on their names being on disk.
    void DeferFolderSync() { m_bSyncFolder = false; }

    // Forces the entries of folder (renames, deletions) to disk.  File systems
    // that cannot sync a folder, and folders we may enter but not read, are
    // taken as they are; false with the cause on failure.
    static bool SyncFolder(const std::string& folder, std::string& cause);
    static bool SyncFolder(const CFolder& folder, std::string& cause);

    // The access ACL of the file open at fd, empty when it has none; false with
    // the cause when it cannot be read.
    static bool ReadAccessAcl(int fd, std::vector<char>& acl, std::string& cause);

    // Removes the temporary (nothing once committed).  False, with the cause,
    // when it could not be removed (the next run in the folder removes it).
    bool Discard(std::string* cause = nullptr);

    // Whether name (without folder) is one of our temporaries; gives the id of
    // the process that made it and the target name as far as it is kept.
    static bool IsTemporaryName(const std::string& name, long& pid, std::string& target);

    // Removes the temporaries in folder whose process no longer runs; with
    // onlyFor not empty only those of that target name.  Lists the paths
    // removed, and the ones that could not be, with the cause.
    static void RemoveStale(const CFolder& folder, const std::string& onlyFor, std::vector<std::string>& removed,
                            std::vector<std::string>& failed);

    // Folder part of a path, with its trailing "/", or "" for the current folder.
    static std::string FolderOf(const std::string& path);

private:
    static constexpr char TEMP_MARK[] = ".tamble-tmp.";   // in every temporary's name
    static constexpr std::size_t NAME_LIMIT = 255;        // bytes of one name in a folder

    bool CopyAttributes(const FileInfo& source, const std::vector<char>* acl, std::string& cause);
    bool CopyAcl(const std::vector<char>* acl, unsigned& mode, std::string& cause);
    bool Rename(bool replace, std::string& cause);
    // Syncs the folder open at dir (AT_FDCWD: the folder inner names).
    static bool SyncDir(int dir, const std::string& inner, std::string& cause);

    std::string m_strTarget;
    std::string m_strTemp;
    std::string m_strStreamPath;
    // The folder the *At names are relative to: the current folder (the names are
    // the paths), or the target's folder when its path leaves no room for them.
    static constexpr int CURRENT_FOLDER = -100;   // the system's own name for it (AT_FDCWD)
    int m_hDir = CURRENT_FOLDER;
    std::string m_strTempAt, m_strTargetAt;
    int m_hFile = -1;
    int m_nTempSlot = NO_TEMPORARY_SLOT;   // the temporary's stop-signal registration
    bool m_bSyncFolder = true;
    bool m_bSynced = false;
    std::string m_strSyncFault;   // what the first sync said, when it failed
    // Where a CSyncAhead has the sync (under its lock).
    friend class CSyncAhead;
    enum SyncStage { SYNC_NONE, SYNC_QUEUED, SYNC_RUNNING, SYNC_DONE };
    SyncStage m_nSyncStage = SYNC_NONE;
};
