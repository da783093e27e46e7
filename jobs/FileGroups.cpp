// A history job's finished files on their way to their group (jobs/GroupSettler.h):
// a worker queues the file it finished, the job's thread hands the files on in
// the order of the names, and says and counts what became of each.
#include "jobs/GroupSettler.h"
#include "jobs/JobError.h"
#include "jobs/Leftovers.h"
#include "jobs/TambleJobs.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"

#include <cstring>

void CTambleJobs::QueueFile(PendingFile file)
{
    file.failed = m_bFileFailed;
    file.fileIn = m_nFileIn;
    file.fileOut = m_nFileOut;
    m_pendingFiles.push_back(std::move(file));
    m_bInFile = false;   // the file is counted when its group is settled
}

void CTambleJobs::TakePending(CTambleJobs& from)
{
    std::vector<SettledFile> settled;
    for (PendingFile& file : from.m_pendingFiles)
        m_pSettler->Add(std::move(file), settled);
    from.m_pendingFiles.clear();
    EndSettled(settled);
}

void CTambleJobs::SettlePending()
{
    std::vector<SettledFile> settled;
    if (m_pSettler)
        m_pSettler->Settle(settled);
    EndSettled(settled);
}

void CTambleJobs::EndSettled(const std::vector<SettledFile>& settled)
{
    for (const SettledFile& file : settled) {
        m_bInFile = true;
        m_bFileFailed = file.failed;
        m_nFileIn = file.fileIn;
        m_nFileOut = file.fileOut;
        for (const SettledFile::Line& line : file.lines)
            line.message ? m_view.Message(line.text) : m_view.Log(line.text);
        if (file.failed)
            RaiseStatus(1);
        if (file.leaseError) {   // deleted under the weaker check: said once at the end
            ++m_nUnleased;
            m_nUnleasedError = file.leaseError;
        }
        EndFile(file.converted);
    }
}

void CTambleJobs::SyncHistoryFolder(const CFolder& folder)
{
    std::string cause;
    if (!CSafeTarget::SyncFolder(folder, cause))
        Fail(IDS_ERR_WRITE, folder.Shown(), cause);
}

void CTambleJobs::WarnUnleased(const CFolder& folder)
{
    if (m_nUnleased == 0)
        return;
    m_view.Message(ComposeMessage(FormatText(IDS_WARN_NO_LEASE, {std::to_string(m_nUnleased)}), folder.Shown(),
                                  std::strerror(m_nUnleasedError)));
}

void CTambleJobs::RestoreSetAside(const CFolder& folder)
{
    LeftoverReport report;
    ::RestoreSetAside(folder, report);
    for (const std::string& plain : report.restored)
        LogLine(IDS_LOG_RESTORED, plain);
    for (const LeftoverReport::Failure& failure : report.failures)
        Fail(failure.textId, failure.file, failure.cause);
}
