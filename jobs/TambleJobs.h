// CTambleJobs: the program's jobs.  One run performs one job, chosen by the
// operation and the kind of file the command line gave:
//   compress + history set   CompressHistory   plain history files older than N days
//   compress + one file      CompressFile      source -> target, LZW
//   extract  + history set   ExtractHistory    compressed history files of N days
//   extract  + one file      ExtractFile       source -> target, plain bytes
// The jobs show what they do through an IJobView and know nothing of any toolkit;
// what to do comes as a JobSettings value, which no job changes.
//
// What the jobs guarantee: a target appears complete or not at all (written to
// a temporary, forced to disk and renamed); a conversion succeeds only when its
// source delivered exactly its original size without damage; a plain history
// file is deleted only after its compressed twin has been decoded and found to
// hold exactly its bytes, and only if nobody changed it meanwhile; one run at a
// time works in a folder (the others wait a bounded time, then refuse), and it
// first removes the temporaries that interrupted runs left there.
#pragma once

#include "jobs/GroupSettler.h"
#include "jobs/JobKind.h"
#include "jobs/JobSettings.h"
#include "jobs/JobView.h"
#include "platform/Folder.h"
#include "platform/Types.h"
#include "streams/CompressedFile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CFolder;
class CFolderLock;
class CHistoryFolder;
class CSafeTarget;
class CSyncAhead;
struct FileRef;
struct JobFault;

// What a job did, for its summary: each file it met is converted, passed over
// or failed; the bytes are those of the converted files.
struct JobTally {
    std::uint64_t converted = 0, passedOver = 0, failed = 0;
    std::uint64_t badNames = 0;   // of the passed over: names with a bad date (status 1)
    std::uint64_t bytesBefore = 0, bytesAfter = 0;

    JobTally& operator+=(const JobTally& other)
    {
        converted += other.converted;
        passedOver += other.passedOver;
        failed += other.failed;
        badNames += other.badNames;
        bytesBefore += other.bytesBefore;
        bytesAfter += other.bytesAfter;
        return *this;
    }
};

class CTambleJobs {
public:
    explicit CTambleJobs(IJobView& view, JobSettings settings = {});
    virtual ~CTambleJobs();
    CTambleJobs(const CTambleJobs&) = delete;
    CTambleJobs& operator=(const CTambleJobs&) = delete;

    const JobSettings& Settings() const { return m_settings; }
    bool HasJob() const { return m_settings.HasJob(); }

    // The job driver's table: checks the settings, runs the job they name and
    // reports an error that stops it; returns the job's result (0 when no job
    // ran or the job returned early).  The view's EndJob is called exactly once.
    int RunJob();

    // Whether the settings name a job that can run; reports why not (status 2).
    BOOL CheckJobSettings();

    int CompressFile();
    int ExtractFile();
    int CompressHistory();
    int ExtractHistory();

    // Converts source into target, written with method; 1 converted, 0 failed
    // (the user has been told why, and no target was created or changed).  With
    // replaceTarget false an existing target is never overwritten.  A read or
    // write error of a file stops the whole job: CJobError.  This is the step
    // that reports the faults of a conversion.
    BOOL ConvertFile(const std::string& source, const std::string& target, int method, bool replaceTarget = true);
    // The same for files named in folders (a history job's); a plainSource is
    // one to compress, never expected to hold coded data.
    struct Converted {
        bool done = false;
        std::shared_ptr<CSafeTarget> staged;   // a history job's target, still a temporary for its group
    };
    Converted ConvertFile(const FileRef& source, const FileRef& target, int method, bool replaceTarget,
                          bool plainSource);

    // The process exit status the run earned so far: 0 all done, 1 a conversion
    // failed or the job stopped on an error, 2 no job / unusable settings.
    int ExitStatus() const { return m_nExitStatus; }

    // The line that ends a job: files compressed (or extracted), passed over
    // and failed, bytes before and after (an extraction: written and read) with
    // the share saved, and the time taken.  Empty when no job ran (the settings
    // named none or were refused) or when it stopped on an error before it met
    // any file (its message said why).
    std::string SummaryLine() const;

    // The progress report of the streams a conversion makes, context the jobs
    // object that runs it.  Whatever count the stream reports, the file bar shows
    // how much of the source the conversion has consumed (0 .. the source's size).
    static void UpdateFileProgress(void* context, UINT position);
    // The sink that reports to this object's file bar.
    ProgressSink FileProgressSink() { return {UpdateFileProgress, this}; }

protected:
    // Ends the job with result (1 a normal end) through the view, once.
    void EndJob(int result);
    // Transfers the texts and repaints both bars at once.
    void ShowBars();

    // A message to the user; Fail also marks the run as failed (status 1),
    // Refuse as unusable (status 2).
    void Notice(UINT textId, const std::string& file, const std::string& cause = {});
    void Fail(UINT textId, const std::string& file, const std::string& cause = {});
    void Refuse(UINT textId, const std::string& value);
    void LogLine(UINT textId, const std::string& what);
    void RaiseStatus(int status);

    // History jobs.
    // One file of a history job, for the workers: what the file bar shows
    // while it is the earliest in flight, and the paths it reads and writes
    // (a file waits for an earlier one that names one of them).
    struct BatchFile {
        std::string shownSource, shownTarget;
        std::uint64_t size = 0;
        std::string source, target;
    };
    // One file's jobs object and recording view, on its worker.
    struct FileRun;
    // Cuts workers to what the process may open and sets the group size;
    // returns how far past the earliest unreleased file a file may be begun.
    std::size_t PlanBatch(unsigned& workers);
    // On a worker: converts one file; true when its error stops the job.
    bool RunFile(FileRun& run, const std::function<void(CTambleJobs& job, std::size_t index)>& work, std::size_t index);
    // On the job's thread, in order: what the file said, its counts, its pending files.
    void ReleaseFile(FileRun& run, bool awaited);
    void ShowBatch(const BatchFile& earliest, bool newFile, std::size_t done, const FileRun* run);
    // Files a history job converts at once: the setting, or one per online CPU.
    unsigned WorkerCount() const;
    // Runs work (BeginFile .. EndFile of one file on the given jobs object) for
    // every file on worker threads, each file on a jobs object of its own whose
    // messages are released here in the order of the files, with its counts
    // and status.  False when an error stopped the job: it stops at that file,
    // and the files after it are not touched (those a worker converted already
    // are dropped, unsaid and uncounted).  Only this thread calls the view.
    bool RunBatch(const std::vector<BatchFile>& files, unsigned workers,
                  const std::function<void(CTambleJobs& job, std::size_t index)>& work);
    // A worker's jobs object takes the batch's shared parts (its settings it
    // was made with).
    void JoinBatch(const CTambleJobs& from);
    // Opens a history job's folder once (never through a link as its last
    // component); every file step of the job is relative to it.  An error stops the job.
    std::shared_ptr<const CFolder> OpenJobFolder(const std::string& path);
    void ReadHistoryFolder(CHistoryFolder& folder);
    std::int64_t StartMidnight(std::int64_t now);
    // Says in the log which dates an extraction takes, from start on.
    void LogDateWindow(std::int64_t start);
    // The midnight of the date in a plain history name; false with the fault
    // for a date out of range or one that cannot be converted.
    bool NameMidnight(const std::string& name, const std::string& path, int start, std::int64_t now,
                      std::int64_t& midnight, JobFault& fault);
    // One entry of CompressHistory, from BeginFile to EndFile.
    void CompressEntry(const std::string& name, std::int64_t now, std::int64_t ageLimit);
    void CompressOne(const std::string& name);
    // Proves an existing twin against its plain file and forces it to disk.
    void ProveExistingTwin(const FileRef& plain, const FileInfo& plainInfo, const std::string& twinName,
                           const FileInfo& twinInfo);
    void ExtractOne(const std::string& name);
    bool ExtractBatch(const CHistoryFolder& folder, const std::vector<std::size_t>& indexes, unsigned workers);
    // A dry run's check of one conversion: the source decodes whole and the
    // target's folder can be written; says what would happen or why it fails.
    bool DryConvert(const FileRef& source, const std::string& target, const CFolder& targetFolder, UINT logId);

    // Counting for the summary: each file the job meets is converted (its
    // sizes before and after are set in m_nFileIn/m_nFileOut), failed (the run
    // earned status 1 on it) or passed over.
    void BeginFile();
    void EndFile(bool converted);
    // A history job's finished files wait for their group (jobs/GroupSettler.h),
    // which forces their targets to disk, renames them into place, syncs the
    // folder once, then deletes a compression's plain files.  QueueFile hands
    // the file at hand over (its group counts it and says what became of it);
    // TakePending moves a worker's queued files to the job's groups, which are
    // settled once full (m_nGroupSize files); SettlePending settles the files
    // taken so far.
    std::size_t m_nGroupSize = CGroupSettler::GROUP_SIZE;
    void QueueFile(PendingFile file);
    void TakePending(CTambleJobs& from);
    void SettlePending();
    // Says and counts what became of settled files, in order.
    void EndSettled(const std::vector<SettledFile>& settled);
    // Syncs a history job's folder once for all its targets; a failure fails the run.
    void SyncHistoryFolder(const CFolder& folder);
    // Takes the folder's lock for the job (waiting at most m_nLockWait seconds)
    // and removes the temporaries that interrupted runs left there (with
    // onlyFor, only those of that target).  A folder that cannot be opened
    // stops the job when mustExist, else the job goes on without the lock.
    void LockFolder(const CFolder& folder, const std::string& onlyFor, bool mustExist);
    void RestoreSetAside(const CFolder& folder);
    // One warning for the plain files deleted without a write lease this run.
    void WarnUnleased(const CFolder& folder);

    // Single-file jobs.
    int ConvertNamedFile(int method, UINT logId);

    // The work of ConvertFile: false with the fault when the conversion fails.
    // trailing: the bytes after the source's complete coded data, when it has
    // such (the target is made all the same).
    bool Convert(const FileRef& source, const FileRef& target, int method, bool replaceTarget, bool plainSource,
                 CSafeTarget& out, JobFault& fault, std::string& trailing);

    // Moves the reader's content into the writer chunk by chunk (the LZSS
    // writer, which codes its data in one call, gets it as one block);
    // delivered counts the bytes the reader delivered.  False with the fault
    // when a read or a write fails.
    bool CopyContent(CCompressedFile& reader, CCompressedFile& writer, int method, const std::string& target,
                     UINT& delivered, JobFault& fault);

    // Removes the temporary of a failed conversion; says so when it cannot.
    void NoteTemporaryLeft(CSafeTarget& out);

    // File bar: the source position the running conversion has reached.
    void SetSourcePos(std::uint64_t consumed, std::uint64_t total);
    void ShowFilePos();

    const JobSettings m_settings;
    IJobView& m_view;
    int m_nExitStatus = 0;
    bool m_bJobRan = false;
    bool m_bInFile = false;       // between BeginFile and EndFile
    bool m_bFileFailed = false;   // the file at hand raised the status
    bool m_bFileDone = false;     // the file at hand was (or would be) converted
    JobTally m_tally;
    std::uint64_t m_nFileIn = 0, m_nFileOut = 0;
    std::int64_t m_nStartedNs = 0;   // steady clock at the job's start
    bool m_bEnded = false;
    std::uint64_t m_nSourceLength = 0;   // bytes of the source file being converted
    UINT m_nFilePos = 0;                 // file bar position to show
    UINT m_nShownFilePos = 0;            // file bar position last shown
    bool m_bFilePosShown = false;
    std::unique_ptr<CFolderLock> m_pLock;        // held while the job works in its folder
    bool m_bWorker = false;                      // converts one file of a batch on a worker thread
    std::vector<PendingFile> m_pendingFiles;     // a worker's finished files, for the job's group
    std::unique_ptr<CGroupSettler> m_pSettler;   // the job's groups, while its batch runs
    CSyncAhead* m_pSyncAhead = nullptr;          // the batch's sync threads, while RunBatch runs
    // A history job's folder, and the folder its targets go to (the same, or
    // the output folder), each opened once for the whole job.
    std::shared_ptr<const CFolder> m_pFolder, m_pTargetFolder;
    // Plain files deleted without a write lease (leases refused), and why.
    std::uint64_t m_nUnleased = 0;
    int m_nUnleasedError = 0;
};
