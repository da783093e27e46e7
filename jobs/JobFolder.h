// The folder a job works in: opened once, locked against other runs, and
// cleared of what interrupted runs left there.
#pragma once

#include <memory>
#include <string>

class CFolder;
class CJobRun;

// Opens a history job's folder once (never through a link as its last
// component); every file step of the job is relative to it.  An error stops
// the job (CJobError).
std::shared_ptr<const CFolder> OpenJobFolder(const std::string& path);

// Takes the folder's lock for the run (waiting at most the settings' lockWait
// seconds) and removes the temporaries that interrupted runs left there (with
// onlyFor, only those of that target), then, for a whole folder, puts back
// the plain files they left set aside.  A folder that cannot be opened stops
// the job when mustExist, else the job goes on without the lock.
void LockFolder(CJobRun& run, const CFolder& folder, const std::string& onlyFor, bool mustExist);

// Syncs a history job's folder once for all its targets; a failure fails the run.
void SyncHistoryFolder(CJobRun& run, const CFolder& folder);
