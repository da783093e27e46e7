#include "jobs/HistoryJobs.h"

#include "jobs/HistoryBatch.h"
#include "jobs/HistoryFolder.h"
#include "jobs/HistoryNames.h"
#include "jobs/HistorySteps.h"
#include "jobs/JobError.h"
#include "jobs/JobFolder.h"
#include "jobs/JobRun.h"
#include "platform/Folder.h"
#include "platform/StringIds.h"
#include "platform/TimeUtil.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t SECONDS_PER_DAY = 86400;

void ReadHistoryFolder(const CFolder& open, CHistoryFolder& folder)
{
    std::string cause;
    if (!folder.Read(open, cause))
        throw CJobError(ComposeMessage(IDS_ERR_READ_FOLDER, open.Shown(), cause), 0);
}

std::int64_t StartMidnight(const JobSettings& settings, std::int64_t now)
{
    HistoryDate date;
    ReadStartDate(settings.startDate, date);
    std::int64_t midnight = 0;
    switch (ResolveDate(date, now, midnight)) {
    case DateResult::OutOfRange:
        throw CJobError(ComposeMessage(IDS_ERR_START_DATE_RANGE, settings.startDate, DateCause(date, JOB_E_FAIL)),
                        JOB_E_FAIL);
    case DateResult::Unconvertible:
        throw CJobError(
            ComposeMessage(IDS_ERR_START_DATE_CONVERT, settings.startDate, DateCause(date, JOB_E_INVALIDARG)),
            JOB_E_INVALIDARG);
    case DateResult::Ok:
        break;
    }
    return midnight;
}

// Says in the log which dates an extraction takes, from start on.
void LogDateWindow(CJobRun& run, std::int64_t start)
{
    // The dates as they were taken, unambiguous: the start date is read at
    // fixed places and a date later than today means the year before.
    const JobSettings& settings = run.Settings();
    auto iso = [](std::int64_t midnight) {
        int year = 0, month = 0, day = 0;
        char text[32] = "?";
        if (midnight >= 0 && LocalDate(midnight, year, month, day))
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
        return std::string(text);
    };
    int year = 0, month = 0, day = 0;
    std::int64_t last = -1;
    if (LocalDate(start, year, month, day) && settings.number < 1000000)
        last = MakeLocalMidnight(year, month, day + settings.number - 1);   // the library carries the days over
    run.LogLine(IDS_LOG_DATE_WINDOW, FormatText(IDS_DATE_WINDOW, {iso(start), iso(last),
                                                                  CountText(static_cast<std::uint64_t>(settings.number),
                                                                            IDS_COUNT_DAY, IDS_COUNT_DAYS),
                                                                  "/D:" + settings.startDate}));
}

// The compressed files of the window's days, in order, as batch files.
std::vector<BatchFile> ExtractFiles(const CHistoryFolder& folder, const std::vector<std::size_t>& indexes,
                                    const CFolder& sources, const CFolder& targets)
{
    std::vector<BatchFile> files;
    for (std::size_t index : indexes) {
        const DirEntry& entry = folder.Entries()[index];
        const std::string source = sources.Shown(entry.name);
        const std::string target = targets.Shown(TwinName(entry.name, ".hst"));
        files.push_back({source, target, entry.size, source, target});
    }
    return files;
}

// Runs the extraction's batch; the targets' names reach the disk with one
// sync of their folder at the end, also when an error stops the job.
bool RunExtraction(CJobRun& run, CHistoryBatch& batch, const std::vector<BatchFile>& files, const HistoryStep& step,
                   const CFolder& targetFolder)
{
    const bool stages = run.Settings().StagesTargets();
    bool finished = true;
    try {
        finished = batch.Run(files, CHistoryBatch::WorkerCount(run.Settings().jobs), step);
    } catch (...) {
        if (stages)
            SyncHistoryFolder(run, targetFolder);
        throw;
    }
    if (stages)
        SyncHistoryFolder(run, targetFolder);
    return finished;
}

}   // namespace

int CompressHistory(CJobRun& run)
{
    const JobSettings& settings = run.Settings();
    const std::int64_t now = Time64Now();
    if (settings.number == 0)
        return 0;
    const std::shared_ptr<const CFolder> open = OpenJobFolder(settings.source);
    const CFolder& folderOpen = *open;
    if (!settings.dryRun)
        LockFolder(run, folderOpen, {}, true);
    CHistoryFolder folder;
    ReadHistoryFolder(folderOpen, folder);
    const std::vector<std::size_t> found = folder.Matching(CompressPattern(settings.group));
    run.View().SetOverallRange(static_cast<std::uint16_t>(found.size()));

    // The files go through the batch even one worker at a time: it gives their
    // messages in the order of the names while their plain files wait to be
    // deleted a group at a time (jobs/GroupSettler.h).
    std::vector<BatchFile> files;
    for (std::size_t index : found) {
        const DirEntry& entry = folder.Entries()[index];
        const std::string twinName = TwinName(entry.name, ".hsz");
        files.push_back({entry.name, twinName, entry.size, folderOpen.Shown(entry.name), folderOpen.Shown(twinName)});
    }
    const HistoryStepContext context {settings, folderOpen, folderOpen, now,
                                      std::int64_t {settings.number} * SECONDS_PER_DAY};
    CHistoryBatch batch(run, folderOpen, folderOpen);
    const bool finished = batch.Run(files, CHistoryBatch::WorkerCount(settings.jobs),
                                    [&](std::size_t i, const FilePosSink& bar, CSyncAhead*) {
                                        return CompressStep(context, folder.Entries()[found[i]].name, bar);
                                    });
    if (!settings.dryRun) {
        SyncHistoryFolder(run, folderOpen);   // the deletions, on disk before the job says it is done
        batch.WarnUnleased();
    }
    if (!finished)
        return 0;
    run.EndJob(1);
    return 1;
}

int ExtractHistory(CJobRun& run)
{
    const JobSettings& settings = run.Settings();
    const std::int64_t now = Time64Now();
    if (settings.startDate.size() < 7)
        return 0;
    const std::int64_t start = StartMidnight(settings, now);
    if (settings.number <= 0)
        return 0;
    LogDateWindow(run, start);
    const std::shared_ptr<const CFolder> sources = OpenJobFolder(settings.source);
    // With an output folder the history folder is only read: the lock guards
    // the folder the targets go to.
    const std::shared_ptr<const CFolder> targets
        = settings.outputDir.empty() ? sources : OpenJobFolder(settings.outputDir);
    if (!settings.dryRun)
        LockFolder(run, *targets, {}, true);
    CHistoryFolder folder;
    ReadHistoryFolder(*sources, folder);
    ExtractWindow window;
    if (!folder.Window(start, static_cast<std::uint64_t>(settings.number), settings.group, window))
        throw CJobError(
            ComposeMessage(IDS_ERR_START_DATE_CONVERT, settings.startDate, ErrorCodeCause(JOB_E_INVALIDARG)),
            JOB_E_INVALIDARG);
    // The range counts the files of all groups, whatever group is extracted.
    run.View().SetOverallRange(static_cast<std::uint16_t>(window.countAllGroups));

    std::vector<std::size_t> indexes;
    for (const ExtractDay& day : window.days)
        indexes.insert(indexes.end(), day.entries.begin(), day.entries.end());
    const HistoryStepContext context {settings, *sources, *targets, now, 0};
    CHistoryBatch batch(run, *sources, *targets);
    const HistoryStep step = [&](std::size_t i, const FilePosSink& bar, CSyncAhead* syncAhead) {
        return ExtractStep(context, folder.Entries()[indexes[i]].name, bar, syncAhead);
    };
    if (!RunExtraction(run, batch, ExtractFiles(folder, indexes, *sources, *targets), step, *targets))
        return 0;
    run.EndJob(1);
    return 1;
}
