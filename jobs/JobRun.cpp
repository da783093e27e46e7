#include "jobs/JobRun.h"

#include "platform/FolderLock.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"

#include <chrono>

namespace {

std::int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}   // namespace

CJobRun::CJobRun(IJobView& view, JobSettings settings) : m_settings(std::move(settings)), m_view(view) {}

CJobRun::~CJobRun() = default;

void CJobRun::Begin()
{
    m_bEnded = false;
    m_nStartedNs = SteadyNs();
}

void CJobRun::EndJob(int result)
{
    m_bEnded = true;
    m_view.EndJob(result);
}

void CJobRun::ShowBars()
{
    m_view.TransferTexts();
    m_view.RepaintOverallBar();
    m_view.RepaintFileBar();
}

void CJobRun::ShowFilePos(UINT pos)
{
    if (m_bFilePosShown && pos == m_nShownFilePos)
        return;
    m_bFilePosShown = true;
    m_nShownFilePos = pos;
    m_view.SetFilePos(pos);
    m_view.TransferTexts();
    m_view.RepaintFileBar();
}

std::string CJobRun::SummaryLine() const
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

void CJobRun::RaiseStatus(int status)
{
    if (status >= 1)
        ++m_nFailures;
    if (status > m_nExitStatus)
        m_nExitStatus = status;
}

void CJobRun::Notice(UINT textId, const std::string& file, const std::string& cause)
{
    m_view.Message(ComposeMessage(textId, file, cause));
}

void CJobRun::Fail(UINT textId, const std::string& file, const std::string& cause)
{
    Notice(textId, file, cause);
    RaiseStatus(1);
}

void CJobRun::Refuse(UINT textId, const std::string& value)
{
    m_view.Message(ComposeMessage(textId, value, {}));
    RaiseStatus(2);
}

void CJobRun::LogLine(UINT textId, const std::string& what)
{
    m_view.Log(ComposeMessage(textId, what, {}));
}

void CJobRun::Say(const std::vector<JobLine>& lines)
{
    for (const JobLine& line : lines)
        line.message ? m_view.Message(line.text) : m_view.Log(line.text);
}

void CJobRun::Take(const FileOutcome& outcome)
{
    Say(outcome.lines);
    m_tally += outcome.tally;
    RaiseStatus(outcome.status);
}

void CJobRun::HoldLock(std::unique_ptr<CFolderLock> lock)
{
    m_pLock = std::move(lock);
}

void CJobRun::ReleaseLock()
{
    m_pLock.reset();
}
