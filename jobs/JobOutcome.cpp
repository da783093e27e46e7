#include "jobs/JobOutcome.h"

#include "jobs/JobError.h"

JobTally JobTally::OneFile(bool failed, bool converted, std::uint64_t bytesIn, std::uint64_t bytesOut)
{
    JobTally tally;
    if (failed) {
        tally.failed = 1;
    } else if (converted) {
        tally.converted = 1;
        tally.bytesBefore = bytesIn;
        tally.bytesAfter = bytesOut;
    } else {
        tally.passedOver = 1;
    }
    return tally;
}

void CFileRecord::Notice(UINT textId, const std::string& file, const std::string& cause)
{
    m_outcome.lines.push_back({true, ComposeMessage(textId, file, cause)});
}

void CFileRecord::Fail(UINT textId, const std::string& file, const std::string& cause)
{
    Notice(textId, file, cause);
    m_outcome.status = 1;
    m_bFailed = true;
}

void CFileRecord::Log(UINT textId, const std::string& what)
{
    m_outcome.lines.push_back({false, ComposeMessage(textId, what, {})});
}

void CFileRecord::BadName(UINT textId, const std::string& file, const std::string& cause)
{
    // A stray name is the folder's, not the caller's: passed over, as its message says.
    Notice(textId, file, cause);
    m_outcome.status = 1;
    ++m_outcome.tally.badNames;
}

void CFileRecord::Stop(const std::string& text)
{
    m_outcome.lines.push_back({true, text});
    m_outcome.status = 1;
    m_outcome.stopsJob = true;
    m_bFailed = true;
}

void CFileRecord::SetSizes(std::uint64_t bytesIn, std::uint64_t bytesOut)
{
    m_nIn = bytesIn;
    m_nOut = bytesOut;
}

FileOutcome CFileRecord::End(bool converted)
{
    FileOutcome outcome = std::move(m_outcome);
    outcome.tally += JobTally::OneFile(m_bFailed, converted, m_nIn, m_nOut);
    return outcome;
}

FileOutcome CFileRecord::Queue(PendingFile file)
{
    file.failed = m_bFailed;
    file.fileIn = m_nIn;
    file.fileOut = m_nOut;
    FileOutcome outcome = std::move(m_outcome);
    outcome.pending = std::move(file);
    return outcome;
}
