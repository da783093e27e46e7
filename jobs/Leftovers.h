// What interrupted runs leave in a folder, and how a run recognises it: the
// temporaries of targets (platform/SafeTarget.h names and sweeps them) and the
// plain files set aside for their deletion, ".<name>.tamble-old.<pid>".
#pragma once

#include "platform/Types.h"

#include <string>
#include <vector>

class CFolder;

// The name a plain file is set aside under by the process pid.
std::string SetAsideName(const std::string& plain, long pid);

// What putting back and sweeping did: log lines and failures, in order.
struct LeftoverReport {
    std::vector<std::string> restored;   // the plain files put back (shown paths)
    struct Failure {
        UINT textId;
        std::string file, cause;
    };
    std::vector<Failure> failures;
};

// Puts back under their names the plain files that runs which are gone left
// set aside in folder (only ours, never over a file that took the name).
void RestoreSetAside(const CFolder& folder, LeftoverReport& report);
