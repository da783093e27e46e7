// The start-up files that were there but refused, kept for one warning each.
#include "platform/StartupFile.h"

#include <mutex>
#include <set>
#include <utility>

namespace {

std::mutex g_refusedLock;
std::vector<RefusedFile> g_refused;
std::set<std::pair<RefusedKind, std::string>> g_noted;

}   // namespace

void NoteRefusedFile(RefusedKind kind, const std::string& path, const std::string& why)
{
    const std::lock_guard<std::mutex> lock(g_refusedLock);
    if (g_noted.emplace(kind, path).second)
        g_refused.push_back({kind, path, why});
}

std::vector<RefusedFile> TakeRefusedFiles()
{
    const std::lock_guard<std::mutex> lock(g_refusedLock);
    return std::exchange(g_refused, {});
}
