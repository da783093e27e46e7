// JobSettings: what a run is asked to do, filled once from the command line and
// never changed by a job; the steps of a history job read it on their workers.
#pragma once

#include "jobs/JobKind.h"
#include "platform/FolderLock.h"
#include "platform/Types.h"
#include "streams/CompressedFile.h"

#include <string>

struct JobSettings {
    int zipMode = ZIP_MODE_NONE;     // ZIP_MODE_COMPRESS, ZIP_MODE_EXTRACT, other: no job
    int fileType = FILE_TYPE_NONE;   // FILE_TYPE_HISTORY the history-file set, other: one named file
    int number = 0;                  // a number of days
    int group = -1;                  // history group, negative for all
    std::string startDate;           // first day of an extraction, month first
    std::string source;              // source file, or the history folder
    std::string target;              // target file
    bool hidden = false;
    int compressMethod = METHOD_LZW;             // the method a compression writes
    int lockWait = CFolderLock::DefaultWait();   // seconds to wait for another run in the folder
    bool dryRun = false;                         // say what the job would do, change nothing
    bool keep = false;                           // a compression deletes no plain file
    std::string outputDir;                       // a history extraction's target folder (empty: the history folder)
    int jobs = 0;                                // files a history job converts at once (0: one per online CPU)

    // Whether the settings name a job (compress or extract).
    bool HasJob() const { return IsJobMode(zipMode); }
    bool History() const { return fileType == FILE_TYPE_HISTORY; }
    // A history job that changes files: its targets are staged, placed by their
    // group and their folder synced once for many.
    bool StagesTargets() const { return History() && !dryRun; }
};

// Why settings cannot run: the message's text and the value it names.
struct SettingsRefusal {
    UINT textId = 0;
    std::string value;
};

// Whether the settings name a job that can run; false with the refusal (the
// run's status is then 2).
bool CheckSettings(const JobSettings& settings, SettingsRefusal& refusal);
