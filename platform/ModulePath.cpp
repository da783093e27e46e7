// Module paths from /proc/self/exe and the dynamic linker's link map.
#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

constexpr char FD_PATH_PREFIX[] = "/proc/self/fd/";

std::mutex g_pathsLock;
struct LoadedByDescriptor {
    std::string path;
    int fd = -1;
    int loads = 0;
};
std::map<HMODULE, LoadedByDescriptor> g_loaded;

std::string ExecutablePath()
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(length));
        buffer.resize(buffer.size() * 2);   // the path filled the buffer: it may be cut
    }
}

}   // namespace

std::string GetModuleFileName(HMODULE module)
{
    if (module != nullptr) {
        link_map* map = nullptr;
        // The main program's entry in the link map has an empty name.
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr
            && map->l_name[0] != '\0') {
            if (std::strncmp(map->l_name, FD_PATH_PREFIX, sizeof FD_PATH_PREFIX - 1) == 0) {
                const std::lock_guard<std::mutex> lock(g_pathsLock);
                if (const auto found = g_loaded.find(module); found != g_loaded.end())
                    return found->second.path;
            }
            return map->l_name;
        }
    }
    return ExecutablePath();
}

void RememberModulePath(HMODULE module, const std::string& path, int fd)
{
    const std::lock_guard<std::mutex> lock(g_pathsLock);
    LoadedByDescriptor& loaded = g_loaded[module];
    if (loaded.loads++ == 0) {
        loaded.path = path;
        loaded.fd = fd;
    } else {
        ::close(fd);
    }
}

void ForgetModulePath(HMODULE module)
{
    const std::lock_guard<std::mutex> lock(g_pathsLock);
    const auto found = g_loaded.find(module);
    if (found == g_loaded.end() || --found->second.loads > 0)
        return;
    ::close(found->second.fd);
    g_loaded.erase(found);
}
