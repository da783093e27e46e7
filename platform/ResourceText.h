// The resource handles and the texts of the string ids, declared apart from
// platform/ResourceLibrary.h so that code which also sees the system's own
// headers (the Windows window code) can use them: handles are plain pointers
// here, as HINSTANCE is in platform/ModulePath.h.
#pragma once

#include "platform/Types.h"

#include <initializer_list>
#include <string>

// The handle of the program itself (Linux: dlopen of the main program, made
// once; Windows: the executable's module).
void* AfxGetInstanceHandle();

// The current resource handle: the program's own instance (English), a loaded
// language library, or null before start-up has chosen one.
void* AfxGetResourceHandle();
void AfxSetResourceHandle(void* resources);

// Text of a string id: the current resource library's translation, else the
// English text, else null for an id the program does not know.
const char* LookupResString(UINT id);
// The same as a string; empty for an unknown id.
std::string LoadResString(UINT id);

// The text with "{0}", "{1}", ... replaced by the arguments of those numbers,
// so that a translation may put them in any order.
std::string FormatText(const std::string& text, std::initializer_list<std::string> args);
std::string FormatText(UINT textId, std::initializer_list<std::string> args);
