// The job driver (settings checked, the job run, its tally, status and
// summary), what the user is told, the file bar, and the single-file jobs.
#include "jobs/TambleJobs.h"

#include "jobs/HistoryFolder.h"
#include "jobs/HistoryNames.h"
#include "jobs/JobError.h"
#include "jobs/StreamCheck.h"
#include "jobs/SyncAhead.h"
#include "platform/DirSearch.h"
#include "platform/FileLease.h"
#include "platform/Folder.h"
#include "platform/FolderLock.h"
#include "platform/ResourceLibrary.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"
#include "platform/SysCall.h"
#include "platform/TempRegistry.h"
#include "platform/TimeUtil.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

namespace {

UINT Clamp32(std::uint64_t value)
{
    return value > std::numeric_limits<UINT>::max() ? std::numeric_limits<UINT>::max() : static_cast<UINT>(value);
}

std::uint64_t SizeOf(const std::string& path)
{
    FileInfo info;
    return InfoOfPath(path, info) ? info.size : 0;
}

std::int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}   // namespace

CTambleJobs::CTambleJobs(IJobView& view, JobSettings settings) : m_settings(std::move(settings)), m_view(view) {}

CTambleJobs::~CTambleJobs() = default;

// --- driver -----------------------------------------------------------------

BOOL CTambleJobs::CheckJobSettings()
{
    SettingsRefusal refusal;
    if (CheckSettings(m_settings, refusal))
        return TRUE;
    Refuse(refusal.textId, refusal.value);
    return FALSE;
}

int CTambleJobs::RunJob()
{
    m_bEnded = false;
    int result = 0;
    m_nStartedNs = SteadyNs();
    if (CheckJobSettings()) {
        m_bJobRan = true;
        const bool history = m_settings.fileType == FILE_TYPE_HISTORY;
        const UINT wait = m_settings.zipMode == ZIP_MODE_COMPRESS
                              ? (history ? IDS_WAIT_COMPRESS_HISTORY : IDS_WAIT_COMPRESS_FILE)
                              : (history ? IDS_WAIT_EXTRACT_HISTORY : IDS_WAIT_EXTRACT_FILE);
        m_view.SetWaitText(LoadResString(wait));
        m_view.TransferTexts();
        try {
            if (m_settings.zipMode == ZIP_MODE_COMPRESS)
                result = history ? CompressHistory() : CompressFile();
            else
                result = history ? ExtractHistory() : ExtractFile();
        } catch (const CJobError& error) {
            m_view.Message(error.what());
            RaiseStatus(1);
        } catch (const std::exception& error) {
            // Nothing else should get here; report it rather than end silently.
            m_view.Message(error.what());
            RaiseStatus(1);
        }
        if (m_bInFile)
            EndFile(false);   // the error stopped the job on this file
    }
    m_pLock.reset();
    if (!m_bEnded)
        EndJob(0);
    return result;
}

void CTambleJobs::EndJob(int result)
{
    m_bEnded = true;
    m_view.EndJob(result);
}

void CTambleJobs::ShowBars()
{
    m_view.TransferTexts();
    m_view.RepaintOverallBar();
    m_view.RepaintFileBar();
}

void CTambleJobs::BeginFile()
{
    m_bInFile = true;
    m_bFileFailed = false;
    m_bFileDone = false;
    m_nFileIn = m_nFileOut = 0;
}

void CTambleJobs::EndFile(bool converted)
{
    m_bInFile = false;
    if (m_bFileFailed) {
        ++m_tally.failed;
    } else if (converted) {
        ++m_tally.converted;
        m_tally.bytesBefore += m_nFileIn;
        m_tally.bytesAfter += m_nFileOut;
    } else {
        ++m_tally.passedOver;
    }
}

std::string CTambleJobs::SummaryLine() const
{
    // A job that stopped before it met any file has said why: no summary.
    if (!m_bJobRan || (m_nExitStatus != 0 && m_tally.converted + m_tally.passedOver + m_tally.failed == 0))
        return {};
    const std::string seconds = FormatDecimal(static_cast<double>(SteadyNs() - m_nStartedNs) / 1e9, 2);
    std::string saved;
    if (m_tally.bytesBefore > 0)
        saved = FormatText(
            IDS_SUMMARY_SAVED,
            {FormatPercent(100.0 * (static_cast<double>(m_tally.bytesBefore) - static_cast<double>(m_tally.bytesAfter))
                           / static_cast<double>(m_tally.bytesBefore))});
    const std::string badNames
        = m_tally.badNames > 0 ? FormatText(IDS_SUMMARY_BAD_NAMES, {std::to_string(m_tally.badNames)}) : std::string();
    const bool extract = m_settings.zipMode == ZIP_MODE_EXTRACT;
    const UINT textId = m_settings.dryRun ? (extract ? IDS_SUMMARY_DRY_EXTRACT : IDS_SUMMARY_DRY)
                                          : (extract ? IDS_DONE_EXTRACTED : IDS_SUMMARY);
    return FormatText(
        textId, {CountText(m_tally.converted, IDS_COUNT_FILE, IDS_COUNT_FILES), std::to_string(m_tally.passedOver),
                 std::to_string(m_tally.failed), CountText(m_tally.bytesBefore, IDS_CAUSE_BYTE, IDS_CAUSE_BYTES),
                 CountText(m_tally.bytesAfter, IDS_CAUSE_BYTE, IDS_CAUSE_BYTES), saved, seconds, badNames});
}

void CTambleJobs::RaiseStatus(int status)
{
    if (status >= 1 && m_bInFile)
        m_bFileFailed = true;
    if (status > m_nExitStatus)
        m_nExitStatus = status;
}

void CTambleJobs::Notice(UINT textId, const std::string& file, const std::string& cause)
{
    m_view.Message(ComposeMessage(textId, file, cause));
}

void CTambleJobs::Fail(UINT textId, const std::string& file, const std::string& cause)
{
    Notice(textId, file, cause);
    RaiseStatus(1);
}

void CTambleJobs::Refuse(UINT textId, const std::string& value)
{
    m_view.Message(ComposeMessage(textId, value, {}));
    RaiseStatus(2);
}

void CTambleJobs::LogLine(UINT textId, const std::string& what)
{
    m_view.Log(ComposeMessage(textId, what, {}));
}

// --- file bar ---------------------------------------------------------------

void CTambleJobs::UpdateFileProgress(void* context, UINT /*position*/)
{
    // The streams report bytes written or coded; the bar shows the source.
    static_cast<CTambleJobs*>(context)->ShowFilePos();
}

void CTambleJobs::SetSourcePos(std::uint64_t consumed, std::uint64_t total)
{
    // A coded source is consumed in proportion to the content it delivered.
    const std::uint64_t pos = total ? consumed * m_nSourceLength / total : m_nSourceLength;
    m_nFilePos = Clamp32(pos);
}

void CTambleJobs::ShowFilePos()
{
    if (m_bFilePosShown && m_nFilePos == m_nShownFilePos)
        return;
    m_bFilePosShown = true;
    m_nShownFilePos = m_nFilePos;
    m_view.SetFilePos(m_nFilePos);
    m_view.TransferTexts();
    m_view.RepaintFileBar();
}

// --- single-file jobs -------------------------------------------------------

int CTambleJobs::CompressFile()
{
    return ConvertNamedFile(m_settings.compressMethod, IDS_LOG_COMPRESSED);
}

int CTambleJobs::ExtractFile()
{
    return ConvertNamedFile(METHOD_NONE, IDS_LOG_EXTRACTED);
}

int CTambleJobs::ConvertNamedFile(int method, UINT logId)
{
    FileInfo st;
    if (InfoOfPath(m_settings.source, st))
        m_view.SetFileRange(Clamp32(st.size));
    m_view.SetSourceName(m_settings.source);
    m_view.SetTargetName(m_settings.target);
    m_view.TransferTexts();
    BeginFile();
    // The caller's own paths: the target's folder is opened as named.
    const std::string folderPath = CSafeTarget::FolderOf(m_settings.target);
    CFolder folder;
    int error = 0;
    const bool folderOpen = folder.Open(folderPath, true, error);
    if (m_settings.dryRun) {
        const UINT logId = method == METHOD_NONE ? IDS_DRY_EXTRACT : IDS_DRY_COMPRESS;
        bool would = false;
        if (folderOpen)
            would = DryConvert(FileRef::Path(m_settings.source), m_settings.target, folder, logId);
        else
            Fail(IDS_ERR_CREATE, m_settings.target, std::strerror(error));
        EndFile(would);
        EndJob(1);
        return 1;
    }
    if (folderOpen)
        LockFolder(folder, m_settings.target.substr(folderPath.size()), false);
    const bool converted = ConvertFile(m_settings.source, m_settings.target, method);
    if (converted) {
        LogLine(logId, m_settings.source + " -> " + m_settings.target);
        m_nFileIn = st.size;   // the source may be its own target
        m_nFileOut = SizeOf(m_settings.target);
    }
    EndFile(converted);
    EndJob(1);
    return 1;
}
