// The C interface of a language resource library.
//
// A language resource library is a shared object that the program loads with
// dlopen from a culture folder beside the executable (de/tamble-mui.dll).  It
// exports, with C linkage:
//
//   const char* TambleResString(unsigned id)
//       The UTF-8 text of a string id (platform/StringIds.h), or null when the
//       library has no translation for it; the program then uses its English
//       text.  The text stays valid while the library is loaded.
//
//   const unsigned char* TambleResIcon(unsigned id, unsigned* size)   optional
//       A PNG image for an icon id (128 is the application icon) and its size
//       in bytes, or null for the program's own icon.
#pragma once

#define TAMBLE_RES_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
using TambleResStringProc = const char* (*)(unsigned id);
using TambleResIconProc = const unsigned char* (*)(unsigned id, unsigned* size);
}

constexpr const char TAMBLE_RES_STRING_PROC[] = "TambleResString";
constexpr const char TAMBLE_RES_ICON_PROC[] = "TambleResIcon";
