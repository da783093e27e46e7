#include "jobs/JobFolder.h"

#include "jobs/JobError.h"
#include "jobs/JobRun.h"
#include "jobs/Leftovers.h"
#include "platform/Folder.h"
#include "platform/FolderLock.h"
#include "platform/ResourceLibrary.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"

#include <cstring>
#include <vector>

namespace {

void PutBackSetAside(CJobRun& run, const CFolder& folder)
{
    LeftoverReport report;
    RestoreSetAside(folder, report);
    for (const std::string& plain : report.restored)
        run.LogLine(IDS_LOG_RESTORED, plain);
    for (const LeftoverReport::Failure& failure : report.failures)
        run.Fail(failure.textId, failure.file, failure.cause);
}

}   // namespace

std::shared_ptr<const CFolder> OpenJobFolder(const std::string& path)
{
    auto folder = std::make_shared<CFolder>();
    int error = 0;
    if (!folder->Open(path, false, error))
        throw CJobError(ComposeMessage(IDS_ERR_READ_FOLDER, path.empty() || path.back() == '/' ? path : path + '/',
                                       std::strerror(error)),
                        0);
    return folder;
}

void LockFolder(CJobRun& run, const CFolder& folder, const std::string& onlyFor, bool mustExist)
{
    const std::string shown = folder.Shown().empty() ? "./" : folder.Shown();
    const int wait = run.Settings().lockWait;
    auto owned = std::make_unique<CFolderLock>();
    CFolderLock& lock = *owned;
    run.HoldLock(std::move(owned));
    int error = 0;
    switch (lock.Acquire(
        folder, wait, [&] { run.LogLine(IDS_LOG_WAIT_FOLDER, shown); }, error)) {
    case CFolderLock::Result::Busy:
        throw CJobError(JobFault {IDS_ERR_FOLDER_IN_USE, shown, FormatText(IDS_CAUSE_WAITED, {std::to_string(wait)})});
    case CFolderLock::Result::Failed:
        if (mustExist)
            throw CJobError(JobFault {IDS_ERR_READ_FOLDER, shown, std::strerror(error)});
        return;
    case CFolderLock::Result::Unlocked:
        return;   // worked on unlocked: other runs' temporaries are left alone
    case CFolderLock::Result::Held:
        break;
    }
    std::vector<std::string> removed, failed;
    CSafeTarget::RemoveStale(folder, onlyFor, removed, failed);
    for (const std::string& path : removed)
        run.LogLine(IDS_LOG_STALE_TEMP, path);
    for (const std::string& what : failed)
        run.Fail(IDS_ERR_TEMP_LEFT, what);
    if (onlyFor.empty())
        PutBackSetAside(run, folder);
}

void SyncHistoryFolder(CJobRun& run, const CFolder& folder)
{
    std::string cause;
    if (!CSafeTarget::SyncFolder(folder, cause))
        run.Fail(IDS_ERR_WRITE, folder.Shown(), cause);
}
