// Module paths on Win32: GetModuleFileNameW for the executable and loaded
// code, and the path a resource library was loaded from (a library mapped as
// data is not in the loader's list, so the system cannot name it).
#include "platform/ModulePath.h"

#include "platform/win32/HostApi.h"

#include <map>
#include <mutex>

namespace {

std::mutex g_pathsLock;
struct LoadedLibrary {
    std::string path;
    int loads = 0;
};
std::map<HMODULE, LoadedLibrary> g_loaded;

}   // namespace

std::string GetModuleFileName(HMODULE module)
{
    if (module != nullptr) {
        const std::lock_guard<std::mutex> lock(g_pathsLock);
        if (const auto found = g_loaded.find(module); found != g_loaded.end())
            return found->second.path;
    }
    return hostapi::ModulePath(module);
}

void RememberModulePath(HMODULE module, const std::string& path, int /*fd*/)
{
    const std::lock_guard<std::mutex> lock(g_pathsLock);
    LoadedLibrary& loaded = g_loaded[module];
    if (loaded.loads++ == 0)
        loaded.path = path;
}

void ForgetModulePath(HMODULE module)
{
    const std::lock_guard<std::mutex> lock(g_pathsLock);
    const auto found = g_loaded.find(module);
    if (found != g_loaded.end() && --found->second.loads == 0)
        g_loaded.erase(found);
}
