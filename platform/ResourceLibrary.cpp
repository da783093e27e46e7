// dlopen covers and the text lookup through the current resource library.
#include "platform/ResourceLibrary.h"

#include "platform/ResourceAbi.h"
#include "platform/StringIds.h"

#include <dlfcn.h>

namespace {

HINSTANCE g_hResource = nullptr;   // the module state's current resource handle

// The current library when it is one that can hold translations.
HMODULE TranslationLibrary()
{
    if (g_hResource == nullptr || g_hResource == AfxGetInstanceHandle())
        return nullptr;
    return g_hResource;
}

}   // namespace

HINSTANCE AfxGetInstanceHandle()
{
    static HINSTANCE instance = dlopen(nullptr, RTLD_NOW);
    return instance;
}

HMODULE LoadLibraryA(const char* path)
{
    if (path == nullptr || *path == '\0')
        return nullptr;
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

BOOL FreeLibrary(HMODULE module)
{
    if (module == nullptr)
        return FALSE;
    return dlclose(module) == 0 ? TRUE : FALSE;
}

void* GetProcAddress(HMODULE module, const char* name)
{
    if (module == nullptr || name == nullptr)
        return nullptr;
    return dlsym(module, name);
}

HINSTANCE AfxGetResourceHandle()
{
    return g_hResource;
}

void AfxSetResourceHandle(HINSTANCE resources)
{
    g_hResource = resources;
}

const char* LookupResString(UINT id)
{
    if (HMODULE library = TranslationLibrary()) {
        auto proc = reinterpret_cast<TambleResStringProc>(GetProcAddress(library, TAMBLE_RES_STRING_PROC));
        if (proc != nullptr)
            if (const char* text = proc(id))
                return text;
    }
    return EnglishString(id);
}

std::string LoadResString(UINT id)
{
    const char* text = LookupResString(id);
    return text != nullptr ? std::string(text) : std::string();
}

const unsigned char* LookupResIcon(UINT id, UINT* size)
{
    if (size != nullptr)
        *size = 0;
    HMODULE library = TranslationLibrary();
    if (library == nullptr)
        return nullptr;
    auto proc = reinterpret_cast<TambleResIconProc>(GetProcAddress(library, TAMBLE_RES_ICON_PROC));
    if (proc == nullptr)
        return nullptr;
    unsigned length = 0;
    const unsigned char* data = proc(id, &length);
    if (data == nullptr || length == 0)
        return nullptr;
    if (size != nullptr)
        *size = length;
    return data;
}
