// Module handles and the paths of the files behind them.
//
// A module handle is what dlopen returned.  A null handle, or the program's
// own handle, stands for the executable, whose path is read from /proc/self/exe
// (the link already resolved); a library's handle gives the path it was loaded
// from (the checked file's path for one loaded through its descriptor).
#pragma once

#include "platform/Types.h"

#include <string>

using HMODULE = void*;
using HINSTANCE = HMODULE;

// Full path of the module's file; the empty string when it cannot be had.
std::string GetModuleFileName(HMODULE module = nullptr);

// The same into a buffer of `size` bytes, always terminated within it when
// size > 0.  Returns the length copied; size when the path had to be cut;
// 0 on failure (the buffer then holds the empty string).
UINT GetModuleFileNameA(HMODULE module, char* buffer, UINT size);

// A library loaded through /proc/self/fd/N: its link map names only the
// descriptor.  Remembering keeps the path for GetModuleFileName and keeps the
// descriptor open while the library is loaded (taking it over, or closing it
// when this handle holds one already), so that no other library opened as
// descriptor N is taken by the dynamic linker for this one by its name.
// Forgetting undoes one load, after its dlclose.
void RememberModulePath(HMODULE module, const std::string& path, int fd);
void ForgetModulePath(HMODULE module);
