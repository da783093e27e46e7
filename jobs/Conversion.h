// One conversion: one file of any method into a file of a given method, a
// request in and a result out (the converted target, or the faults to report).
//
// The source is read through a stream of the class its magic names and written
// through a stream of the wanted method into a temporary beside the target,
// chunk by chunk, so memory stays flat whatever the file's size.  The target
// appears only when the source delivered exactly its original size without
// damage and the temporary is complete on disk.  As with trailing bytes after a
// gzip stream, a source whose coded data is whole but followed by other bytes
// still gives its target; its fault is reported all the same (status 1).
#pragma once

#include "jobs/JobError.h"
#include "platform/Folder.h"
#include "platform/Types.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CSafeTarget;

// Where a conversion shows how far it has consumed its source (0 .. the
// source's size), whatever count its streams report.
using FilePosSink = std::function<void(UINT pos)>;

struct ConversionRequest {
    FileRef source, target;
    int method = 0;              // the method the target is written with (METHOD_NONE: plain bytes)
    bool replaceTarget = true;   // else an existing target is never overwritten
    bool plainSource = false;    // a file to compress, never expected to hold coded data
    bool stage = false;          // a history job's: the finished temporary waits for its group
    bool readAhead = false;      // read on a spare processor (a single file's conversion)
};

struct ConversionResult {
    bool done = false;
    std::shared_ptr<CSafeTarget> staged;   // a staged target, still a temporary for its group
    // What to report, in order.  A converted file: its source's bytes after
    // complete data.  A failed one: a temporary that could not be removed, then
    // the fault itself, which may stop the job.
    std::vector<JobFault> faults;
    UINT endPos = 0;   // a converted file's bar at the source's end, to show once its faults are said
};

// Converts request.source into request.target; bar follows the source.
ConversionResult Convert(const ConversionRequest& request, const FilePosSink& bar);

// A dry run's check of a conversion: the source decodes whole and the target's
// folder can be written; false with the fault when either fails.
bool CheckConversion(const FileRef& source, const std::string& target, const CFolder& targetFolder, JobFault& fault);
