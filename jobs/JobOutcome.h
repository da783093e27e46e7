// What the steps of a job hand back to the job's thread, as values: the lines
// a file has to say, its counts for the summary, the status it earned, and its
// finished target while that waits for its group.
#pragma once

#include "jobs/GroupSettler.h"
#include "platform/Types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
    // One file's count: failed, else converted with its sizes, else passed over.
    static JobTally OneFile(bool failed, bool converted, std::uint64_t bytesIn, std::uint64_t bytesOut);
};

// What one file of a history job came to.  The job's thread says its lines,
// adds its tally and status and hands its pending target to the group, in the
// order of the names.
struct FileOutcome {
    std::vector<JobLine> lines;
    JobTally tally;                       // empty while the file waits for its group, which counts it
    int status = 0;                       // the exit status the file earned
    bool stopsJob = false;                // its error stops the job
    std::optional<PendingFile> pending;   // its target, for the group
};

// Builds a file's outcome while its step runs: what it says, whether it failed,
// and its sizes before and after once it is converted.
class CFileRecord {
public:
    // A message; Fail also fails the file (status 1).
    void Notice(UINT textId, const std::string& file, const std::string& cause = {});
    void Fail(UINT textId, const std::string& file, const std::string& cause = {});
    void Log(UINT textId, const std::string& what);
    // A name with a bad date: said, passed over, and the run ends with status 1.
    void BadName(UINT textId, const std::string& file, const std::string& cause);
    // An error after which the job does not go on: said, and the file failed.
    void Stop(const std::string& text);
    void SetSizes(std::uint64_t bytesIn, std::uint64_t bytesOut);

    bool Failed() const { return m_bFailed; }
    bool Stopped() const { return m_outcome.stopsJob; }

    // The file is over: converted (or, in a dry run, would be), else passed
    // over; failed when it failed.
    FileOutcome End(bool converted);
    // The file waits for its group, which counts it and says what became of it.
    FileOutcome Queue(PendingFile file);

private:
    FileOutcome m_outcome;
    bool m_bFailed = false;
    std::uint64_t m_nIn = 0, m_nOut = 0;
};
