// The parts of CSafeTarget that are the same on every system: the temporaries'
// names, the removal of stale ones, Commit, moving one, and syncing a folder.
#include "platform/SafeTarget.h"

#include "platform/DirSearch.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"
#include "platform/System.h"

#include <cerrno>
#include <cstring>

namespace {

bool AllDigits(const std::string& text)
{
    if (text.empty() || text.size() > 18)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

}   // namespace

bool CSafeTarget::Commit(const FileInfo& source, bool replace, std::string& cause, const std::vector<char>* acl)
{
    return Stage(source, cause, acl) && Finish(replace, cause);
}

bool CSafeTarget::IsTemporaryName(const std::string& name, long& pid, std::string& target)
{
    // ".<target>.tamble-tmp.<pid>.<n>"
    const std::size_t mark = name.rfind(TEMP_MARK);
    if (name.size() < 2 || name[0] != '.' || mark == std::string::npos || mark < 2)
        return false;
    const std::string numbers = name.substr(mark + sizeof TEMP_MARK - 1);
    const std::size_t dot = numbers.find('.');
    if (dot == std::string::npos || !AllDigits(numbers.substr(0, dot)) || !AllDigits(numbers.substr(dot + 1)))
        return false;
    pid = std::stol(numbers.substr(0, dot));
    target = name.substr(1, mark - 1);
    return true;
}

void CSafeTarget::RemoveStale(const CFolder& folder, const std::string& onlyFor, std::vector<std::string>& removed,
                              std::vector<std::string>& failed)
{
    int error = 0;
    for (const DirEntry& entry : folder.ListMatching(".*" + std::string(TEMP_MARK) + "*", error)) {
        long pid = 0;
        std::string target;
        if (entry.type != DirEntryType::File || !IsTemporaryName(entry.name, pid, target))
            continue;
        // A long target name is kept shortened in its temporary's name, which
        // then has the longest length a name may have.
        const bool shortened = entry.name.size() == NAME_LIMIT && onlyFor.compare(0, target.size(), target) == 0;
        if (!onlyFor.empty() && target != onlyFor && !shortened)
            continue;
        if (!ProcessGone(pid))
            continue;
        if (folder.Unlink(entry.name) == 0)
            removed.push_back(folder.Shown(entry.name));
        else if (errno != ENOENT)
            failed.push_back(folder.Shown(entry.name) + ": " + std::strerror(errno));
    }
}

CSafeTarget::CSafeTarget(CSafeTarget&& from) noexcept
    : m_strTarget(std::move(from.m_strTarget)),
      m_strTemp(std::move(from.m_strTemp)),
      m_strStreamPath(std::move(from.m_strStreamPath)),
      m_hDir(from.m_hDir),
      m_strTempAt(std::move(from.m_strTempAt)),
      m_strTargetAt(std::move(from.m_strTargetAt)),
      m_hFile(from.m_hFile),
      m_nTempSlot(from.m_nTempSlot),
      m_bSyncFolder(from.m_bSyncFolder),
      m_bSynced(from.m_bSynced),
      m_strSyncFault(std::move(from.m_strSyncFault)),
      m_nSyncStage(from.m_nSyncStage)
{
    from.m_strTemp.clear();
    from.m_strStreamPath.clear();
    from.m_hDir = CURRENT_FOLDER;
    from.m_hFile = -1;
    from.m_nTempSlot = NO_TEMPORARY_SLOT;
}

bool CSafeTarget::Create(const std::string& target, std::string& cause)
{
    // The folder is opened once, so that a target whose path is long still has
    // room for its temporary's name.
    CFolder folder;
    int error = 0;
    const std::string folderPath = FolderOf(target);
    if (!folder.Open(folderPath, true, error))
        return Create(CFolder::Current(), target, cause);
    return Create(folder, target.substr(folderPath.size()), cause);
}

bool CSafeTarget::SyncFolder(const CFolder& folder, std::string& cause)
{
    int error = 0;
    if (folder.Sync(error))
        return true;
    cause = FormatText(IDS_CAUSE_FOLDER_SYNC, {std::strerror(error)});
    return false;
}
