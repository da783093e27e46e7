// Module handles and the paths of the files behind them.
//
// A module handle is what dlopen returned.  A null handle, or the program's
// own handle, stands for the executable, whose path is read from /proc/self/exe
// (the link already resolved); a library's handle gives the path it was loaded
// from.
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
