// The ANSI-style copy of a module's path into a caller's buffer, over
// GetModuleFileName (ModulePath.cpp, or its Win32 twin).
#include "platform/ModulePath.h"

#include <cstring>

UINT GetModuleFileNameA(HMODULE module, char* buffer, UINT size)
{
    if (buffer == nullptr || size == 0)
        return 0;
    const std::string path = GetModuleFileName(module);
    if (path.size() >= size) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}
