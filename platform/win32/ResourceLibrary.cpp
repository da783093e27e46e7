// Language resource libraries on Win32: resource-only DLLs (their string
// table, dialog 102 and icon 128), mapped as data with LoadLibraryExW so that
// none of their code could run, and their strings read from the table.
// English is the executable's own string table.
#include "platform/ResourceLibrary.h"

#include "platform/StringIds.h"
#include "platform/win32/HostApi.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

// The UTF-8 texts read so far, by library and id: a text handed out stays
// valid while its library is loaded.
std::mutex g_textsLock;
std::map<std::pair<HMODULE, UINT>, std::string> g_texts;

const char* CachedString(HMODULE module, UINT id)
{
    const std::lock_guard<std::mutex> lock(g_textsLock);
    const auto key = std::make_pair(module, id);
    if (const auto found = g_texts.find(key); found != g_texts.end())
        return found->second.c_str();
    std::string text;
    if (!hostapi::ReadString(module, id, text))
        return nullptr;
    return g_texts.emplace(key, std::move(text)).first->second.c_str();
}

void ForgetStrings(HMODULE module)
{
    const std::lock_guard<std::mutex> lock(g_textsLock);
    for (auto it = g_texts.begin(); it != g_texts.end();)
        it = it->first.first == module ? g_texts.erase(it) : std::next(it);
}

}   // namespace

HINSTANCE AfxGetInstanceHandle()
{
    return hostapi::ExecutableModule();
}

HMODULE LoadLibraryA(const char* path)
{
    if (path == nullptr || *path == '\0')
        return nullptr;
    std::string why;
    HMODULE module = hostapi::LoadDataLibrary(path, why);
    if (module != nullptr)
        RememberModulePath(module, path, -1);
    return module;
}

HMODULE LoadCheckedLibrary(const std::string& path, StartupFileResult& result, std::string& why)
{
    std::uint64_t size = 0;
    switch (hostapi::KindOf(path, size, why)) {
    case hostapi::PathKind::Missing:
        result = StartupFileResult::Missing;
        return nullptr;
    case hostapi::PathKind::File:
        break;
    case hostapi::PathKind::Folder:
        why = "not a regular file (a folder)";
        result = StartupFileResult::Refused;
        return nullptr;
    case hostapi::PathKind::Device:
        why = "not a regular file (a device)";
        result = StartupFileResult::Refused;
        return nullptr;
    case hostapi::PathKind::Link:
        why = "not a regular file (a link)";
        result = StartupFileResult::Refused;
        return nullptr;
    case hostapi::PathKind::Error:
        result = StartupFileResult::Refused;
        return nullptr;
    }
    result = StartupFileResult::Refused;
    // Mapped as data, a cut or foreign file is refused by the loader instead
    // of running anything.
    HMODULE module = hostapi::LoadDataLibrary(path, why);
    if (module == nullptr)
        return nullptr;
    if (!hostapi::HasStringTable(module)) {
        hostapi::ReleaseModule(module);
        why = "no string table of the program's texts";
        return nullptr;
    }
    RememberModulePath(module, path, -1);
    result = StartupFileResult::Ok;
    return module;
}

BOOL FreeLibrary(HMODULE module)
{
    if (module == nullptr)
        return FALSE;
    ForgetStrings(module);
    if (!hostapi::ReleaseModule(module))
        return FALSE;
    ForgetModulePath(module);
    return TRUE;
}

void* GetProcAddress(HMODULE module, const char* name)
{
    return hostapi::ModuleProc(module, name);
}

const char* LibraryString(HMODULE library, UINT id)
{
    return library != nullptr ? CachedString(library, id) : nullptr;
}

const char* LookupResString(UINT id)
{
    HINSTANCE resources = AfxGetResourceHandle();
    HINSTANCE instance = AfxGetInstanceHandle();
    if (resources != nullptr && resources != instance)
        if (const char* text = CachedString(resources, id))
            return text;
    // The executable's own table, where it was built with one, else the
    // texts compiled in (a test program has no string table).
    if (const char* text = CachedString(instance, id))
        return text;
    return EnglishString(id);
}

const unsigned char* LookupResIcon(UINT /*id*/, UINT* size)
{
    // The window loads icon 128 from the library itself.
    if (size != nullptr)
        *size = 0;
    return nullptr;
}
