// The steps of a history job, one file each, as a worker runs them: a step
// takes what it needs as values and hands back what the file came to (its
// lines, its counts, its status and its target for the group), which the job's
// thread then says and counts in the order of the names.
#pragma once

#include "jobs/Conversion.h"
#include "jobs/JobOutcome.h"
#include "jobs/JobSettings.h"

#include <cstdint>
#include <string>

class CFolder;
class CSyncAhead;

// What every step of a history job shares; nothing of it changes while the
// job's files are converted.
struct HistoryStepContext {
    const JobSettings& settings;
    const CFolder& folder;         // the history folder
    const CFolder& targetFolder;   // where the targets go (the same, or the output folder)
    std::int64_t now = 0;          // the time the job began
    std::int64_t ageLimit = 0;     // a compression: seconds a plain file's date must lie back
};

// One entry of a history compression: passed over (not a history name, a bad
// date, too young), or its twin made and proven (or an existing twin proven)
// and the plain file handed to its group for deletion.
FileOutcome CompressStep(const HistoryStepContext& context, const std::string& name, const FilePosSink& bar);

// One compressed file of a history extraction: its plain file made, unless
// one is there.  A staged target's sync is handed to syncAhead (when there
// are sync threads) at once.
FileOutcome ExtractStep(const HistoryStepContext& context, const std::string& name, const FilePosSink& bar,
                        CSyncAhead* syncAhead);
