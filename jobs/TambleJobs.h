// CTambleJobs: the program's jobs.  One run performs one job, chosen by the
// operation and the kind of file the command line gave:
//   compress + history set   CompressHistory   plain history files older than N days
//   compress + one file      CompressFile      source -> target, LZW
//   extract  + history set   ExtractHistory    compressed history files of N days
//   extract  + one file      ExtractFile       source -> target, plain bytes
// The jobs show what they do through an IJobView and know nothing of any toolkit.
// The progress dialog derives from this class, so the settings are its fields.
#pragma once

#include "jobs/JobView.h"
#include "platform/Types.h"
#include "streams/CompressedFile.h"

#include <cstdint>
#include <string>

class CTambleJobs {
public:
    explicit CTambleJobs(IJobView& view);
    virtual ~CTambleJobs();

    // Job settings, copied from the command-line record before the job runs.
    int m_nZipMode = 0;          // 1 compress, 2 extract, other: no job
    int m_nFileType = 0;         // 2 the history-file set, other: one named file
    int m_nNumber = 0;           // a number of days
    int m_nGroup = -1;           // history group, negative for all
    std::string m_szStartDate;   // first day of an extraction, month first
    std::string m_szSource;      // source file, or the history folder
    std::string m_szTarget;      // target file
    BOOL m_bHidden = FALSE;
    int m_nCompressMethod = METHOD_LZW;   // the method a compression writes

    // The job driver's table: runs the job the settings name; returns its result
    // (0 when no job runs or the job returned early).
    int RunJob();

    int CompressFile();
    int ExtractFile();
    int CompressHistory();
    int ExtractHistory();
    UINT CountHistoryFiles();
    UINT CountFiles(const std::string& pattern);
    BOOL ConvertFile(const std::string& source, const std::string& target, int method);

    // The process exit status the run earned so far: 0 all done, 1 a conversion
    // failed or the job stopped on an error, 2 no job / unusable settings.
    int ExitStatus() const { return m_nExitStatus; }

    // The progress callback handed to the stream factory; moves the file bar of the
    // running job.
    static void UpdateFileProgress(UINT position);

protected:
    IJobView& m_view;
    int m_nExitStatus = 0;
};
