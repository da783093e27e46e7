#include "jobs/Leftovers.h"

#include "jobs/JobError.h"
#include "platform/DirSearch.h"
#include "platform/Folder.h"
#include "platform/StringIds.h"
#include "platform/System.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr char SET_ASIDE_MARK[] = ".tamble-old.";

}   // namespace

std::string SetAsideName(const std::string& plain, long pid)
{
    return "." + plain + SET_ASIDE_MARK + std::to_string(pid);
}

void RestoreSetAside(const CFolder& folder, LeftoverReport& report)
{
    // A run killed while it deleted a plain file can leave it set aside: it goes
    // back under its name (only ours, only of runs that are gone), and the job
    // then deletes it as usual once its twin proves itself.  Both names are of
    // this folder, whatever its path leads to by now.
    int error = 0;
    for (const DirEntry& entry : folder.ListMatching(".*" + std::string(SET_ASIDE_MARK) + "*", error)) {
        const std::size_t mark = entry.name.rfind(SET_ASIDE_MARK);
        if (entry.type != DirEntryType::File || mark == std::string::npos || mark < 2)
            continue;
        const std::string pid = entry.name.substr(mark + sizeof SET_ASIDE_MARK - 1);
        if (pid.empty() || pid.size() > 9 || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (!ProcessGone(std::stol(pid)))
            continue;
        const std::string plain = entry.name.substr(1, mark - 1);
        if (folder.Rename(entry.name, plain, false) == 0)
            report.restored.push_back(folder.Shown(plain));
        else
            report.failures.push_back(
                {IDS_ERR_DELETE, folder.Shown(plain),
                 FormatText(IDS_CAUSE_KEPT_AS, {folder.Shown(entry.name), std::strerror(errno)})});
    }
}
