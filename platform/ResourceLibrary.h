// Libraries loaded at run time, and the process-wide choice of the library that
// the program's texts come from.
//
// LoadLibraryA, FreeLibrary and GetProcAddress are thin covers over dlopen,
// dlclose and dlsym.  The current resource handle is either the program's own
// instance (AfxGetInstanceHandle: English texts built into the program), a
// loaded language resource library (platform/ResourceAbi.h), or null before
// start-up has chosen one.  Every text lookup asks the current library first
// and falls back to English, one id at a time.
#pragma once

#include "platform/ModulePath.h"
#include "platform/ResourceText.h"
#include "platform/StartupFile.h"
#include "platform/Types.h"

#include <string>

// Loads a shared object by path (a name without '/' is searched for as dlopen
// does); null when it cannot be loaded.
HMODULE LoadLibraryA(const char* path);
// Loads a language library only after checking it: a regular file (see
// platform/StartupFile.h), an ELF shared object of this machine's class, byte
// order and machine, whose program headers and every loaded segment lie within
// the file as it is (a cut file would otherwise end the process inside dlopen).
// The descriptor that was checked is what is loaded (through /proc/self/fd),
// so the path cannot be pointed elsewhere in between; only where /proc is not
// there is the path loaded again.  Null with `result` Missing when there is no
// such file, or Refused and `why` when it fails the check or cannot be loaded.
HMODULE LoadCheckedLibrary(const std::string& path, StartupFileResult& result, std::string& why);
// Releases a library from LoadLibraryA or LoadCheckedLibrary; FALSE for a null handle or a failure.
BOOL FreeLibrary(HMODULE module);
// Address of an exported symbol, or null.
void* GetProcAddress(HMODULE module, const char* name);

// The text of a string id in one library's own table, or null when it has
// none (no English fallback): a language library's translation.
const char* LibraryString(HMODULE library, UINT id);

// PNG image of an icon id from the current resource library, or null when the
// library has none (the caller then uses the program's own icon).
const unsigned char* LookupResIcon(UINT id, UINT* size);
