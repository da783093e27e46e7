// The history jobs: compress the plain history files older than N days, extract
// the compressed ones of a run of days.  Each opens its folder once, locks it,
// reads it, and runs its files as steps of a history batch.  Both return 1
// after a normal end (the job was ended through the view), 0 when they
// returned early; an error that stops the job is thrown as CJobError.
#pragma once

class CJobRun;

int CompressHistory(CJobRun& run);
int ExtractHistory(CJobRun& run);
