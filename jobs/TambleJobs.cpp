// The job driver's table (settings checked, the job run, the one catch of an
// error that stops it) and the single-file jobs.
#include "jobs/TambleJobs.h"

#include "jobs/Conversion.h"
#include "jobs/HistoryJobs.h"
#include "jobs/JobError.h"
#include "jobs/JobFolder.h"
#include "platform/Folder.h"
#include "platform/ResourceLibrary.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"

#include <cstring>
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

}   // namespace

CTambleJobs::CTambleJobs(IJobView& view, JobSettings settings) : CJobRun(view, std::move(settings)) {}

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
    int result = 0;
    Begin();
    if (CheckJobSettings()) {
        Started();
        const bool history = m_settings.History();
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
        } catch (const std::exception& error) {
            // A CJobError, the one exception of the jobs; anything else should
            // not get here, and is reported rather than ending the run silently.
            m_view.Message(error.what());
            RaiseStatus(1);
            if (!history)   // a single-file job stops only on its one file, which failed
                Count(JobTally::OneFile(true, false, 0, 0));
        }
    }
    ReleaseLock();
    if (!Ended())
        EndJob(0);
    return result;
}

int CTambleJobs::CompressHistory()
{
    return ::CompressHistory(*this);
}

int CTambleJobs::ExtractHistory()
{
    return ::ExtractHistory(*this);
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

BOOL CTambleJobs::ConvertFile(const std::string& source, const std::string& target, int method, bool replaceTarget)
{
    // A file to compress holds no coded data that a damaged magic could spoil.
    // The caller's own file: read ahead on a spare processor, committed at once.
    const ConversionRequest request {
        FileRef::Path(source), FileRef::Path(target), method, replaceTarget, method != METHOD_NONE, false, true};
    const ConversionResult result = Convert(request, [this](UINT pos) { ShowFilePos(pos); });
    for (const JobFault& fault : result.faults) {
        if (fault.stopsJob)
            throw CJobError(fault);
        Fail(fault.textId, fault.file, fault.cause);
    }
    if (!result.done)
        return FALSE;
    ShowFilePos(result.endPos);
    return TRUE;
}

int CTambleJobs::ConvertNamedFile(int method, UINT logId)
{
    FileInfo st;
    if (InfoOfPath(m_settings.source, st))
        m_view.SetFileRange(Clamp32(st.size));
    m_view.SetSourceName(m_settings.source);
    m_view.SetTargetName(m_settings.target);
    m_view.TransferTexts();
    // The file failed when the run failed while it was at hand.
    const std::uint64_t failures = Failures();
    // The caller's own paths: the target's folder is opened as named.
    const std::string folderPath = CSafeTarget::FolderOf(m_settings.target);
    CFolder folder;
    int error = 0;
    const bool folderOpen = folder.Open(folderPath, true, error);
    bool converted = false;
    std::uint64_t bytesIn = 0, bytesOut = 0;
    if (m_settings.dryRun) {
        converted = DryConvertNamedFile(method, folderOpen ? &folder : nullptr, error);
    } else {
        if (folderOpen)
            LockFolder(*this, folder, m_settings.target.substr(folderPath.size()), false);
        converted = ConvertFile(m_settings.source, m_settings.target, method);
        if (converted) {
            LogLine(logId, m_settings.source + " -> " + m_settings.target);
            bytesIn = st.size;   // the source may be its own target
            bytesOut = SizeOf(m_settings.target);
        }
    }
    Count(JobTally::OneFile(Failures() > failures, converted, bytesIn, bytesOut));
    EndJob(1);
    return 1;
}

bool CTambleJobs::DryConvertNamedFile(int method, const CFolder* folder, int folderError)
{
    // A dry run's check: the source decodes whole and the target's folder can be written.
    if (!folder) {
        Fail(IDS_ERR_CREATE, m_settings.target, std::strerror(folderError));
        return false;
    }
    const FileRef source = FileRef::Path(m_settings.source);
    JobFault fault;
    if (!CheckConversion(source, m_settings.target, *folder, fault)) {
        Fail(fault.textId, fault.file, fault.cause);
        return false;
    }
    LogLine(method == METHOD_NONE ? IDS_DRY_EXTRACT : IDS_DRY_COMPRESS, source.Shown() + " -> " + m_settings.target);
    return true;
}
