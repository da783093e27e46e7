// CGroupSettler: a history job's finished files, settled a group at a time.
//
// A worker writes each target to its temporary, starts its write-back, for an
// extraction queues it for the batch's sync threads (CSyncAhead), and for a
// compression decodes the temporary back and compares it with the plain file.
// The job's own thread then hands the file here (Add), in the order of the
// names, and a group of files is settled at once:
//
//   1. force each temporary to disk (on the sync threads, several at once so
//      that journal commits serve many) and rename it into place, never over a
//      file that appeared meanwhile;
//   2. sync the folder once: every rename of the group is now on disk;
//   3. compression: for each plain file, take a write lease (nobody else has it
//      open), check that it is the file that was proven, unchanged, and set it
//      aside under a name nobody opens (".<name>.tamble-old.<pid>");
//   4. one short pause, so that whoever found one of the files by its name just
//      before the set-aside gets far enough to be seen (a lease break, or a
//      change of a file we hold no lease on);
//   5. for each file: delete it, or, when it was opened or changed meanwhile,
//      put it back and remove a twin made of it.
//
// What became of each file comes back as a value (SettledFile), for the job to
// say and count.  Why nothing can be lost: a plain file is deleted only after
// step 2, when its twin's data (forced before the rename) and its name are both
// on disk; a crash before that leaves the plain file, and at worst a twin that
// the next run proves again or a temporary that it removes.
#pragma once

#include "jobs/JobError.h"
#include "platform/Folder.h"
#include "platform/Types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CSafeTarget;
class CSyncAhead;

// A file a worker finished, waiting for its group.
struct PendingFile {
    std::string plain;   // the plain file to delete, as shown; empty: none (an extraction, --keep)
    std::string target;
    std::string plainName, targetName;     // their names in the job's folders
    FileInfo before;                       // the plain file as it was proven
    bool madeTarget;                       // the target was made of this file (not found there)
    std::shared_ptr<CSafeTarget> staged;   // the new target while it is still a temporary
    UINT logId;
    std::string logText;   // the log line's text once the file is settled
    bool failed = false;   // the file had raised the status already
    std::uint64_t fileIn = 0, fileOut = 0;
};

// What became of a settled file.
struct SettledFile {
    using Line = JobLine;
    std::vector<Line> lines;
    bool failed = false;      // the file failed (before or while it was settled)
    bool converted = false;   // its conversion counts as done
    std::uint64_t fileIn = 0, fileOut = 0;
    int leaseError = 0;   // deleted without a lease: why none could be had
};

class CGroupSettler {
public:
    // Files settled together: each group costs a sync of the folder (a journal
    // commit) and, for a compression, a short pause.
    static constexpr std::size_t GROUP_SIZE = 32;

    // plainFolder holds the plain files, targetFolder the targets; with
    // syncThreads (none: each sync is made here) the targets are forced to
    // disk on threads of the settler's own, to which workers may hand them
    // ahead of their group (SyncAhead).
    CGroupSettler(const CFolder& plainFolder, const CFolder& targetFolder, std::size_t syncThreads,
                  std::size_t groupSize);
    ~CGroupSettler();
    CGroupSettler(const CGroupSettler&) = delete;
    CGroupSettler& operator=(const CGroupSettler&) = delete;

    // The sync threads, or null.
    CSyncAhead* SyncAhead() const { return m_pSyncAhead.get(); }

    // Takes a file; settles the group first when the file is another name of
    // a file in it, and the group with it once it is full.  What became of the
    // files settled is appended to settled, in order.
    void Add(PendingFile file, std::vector<SettledFile>& settled);
    // Settles the files taken so far.
    void Settle(std::vector<SettledFile>& settled);

private:
    struct PlainOnItsWay;
    void PlaceTargets(std::vector<PendingFile>& group, std::vector<std::unique_ptr<PlainOnItsWay>>& ways);
    void SetAside(const PendingFile& file, PlainOnItsWay& way);
    SettledFile FinishFile(const PendingFile& file, PlainOnItsWay& way);
    SettledFile FinishPlain(const PendingFile& file, PlainOnItsWay& way);

    const CFolder& m_plainFolder;
    const CFolder& m_targetFolder;
    std::unique_ptr<CSyncAhead> m_pSyncAhead;   // outlives the pending files (declared first)
    std::size_t m_nGroupSize;
    std::vector<PendingFile> m_pending;
};
