// Choice of the user-interface language and loading of its resource library.
//
// The language is a culture name: "de", "de-CH", "sr-SP-Latn".  It comes from
// the key CultureName in section Language of "Program Settings.ini" in the
// product's per-user data folder, or else from the user's locale.  English
// ("en-US") is built into the program; any other culture is looked for as a
// resource library named after the executable ("tamble" -> tamble-mui.dll,
// "Tamble.exe" -> Tamble-EXE-mui.dll) in a folder beside the executable named
// after the culture or a shorter form of it (in any case), or beside the
// executable itself.
#pragma once

#include "platform/ResourceLibrary.h"
#include "platform/Types.h"

#include <string>

// Locale identifier of a locale that has none of its own.
constexpr UINT LOCALE_CUSTOM_UNSPECIFIED = 0x1000;

// Culture name of a Windows-style locale identifier, or "" when the table has
// none for it (identifiers with sort-order bits never match).
const char* LcidToCultureName(UINT lcid);
// The table read backwards, without regard to case; 0 when the name is absent.
UINT CultureNameToLcid(const char* cultureName);

// Locale identifier of a POSIX locale name ("de_DE.UTF-8" -> 0x0407).  "C",
// "POSIX", empty and null are US English (0x0409).  A name not in the table is
// tried without its last part ("de_BE" -> "de"), and with none left gives
// LOCALE_CUSTOM_UNSPECIFIED.  The modifiers @latin and @cyrillic become the
// scripts Latn and Cyrl.
UINT LocaleNameToLcid(const char* localeName);
// The user's locale identifier from LC_ALL, else LC_MESSAGES, else LANG; on
// Windows the system's (GetUserDefaultLCID).
UINT GetUserDefaultLCID();

// The culture for the user interface: the per-user CultureName of the product
// whose executable is at exePath (or the instance's), else the culture of the
// user's locale.  Empty when neither gives one.
std::string ChooseCultureNameFor(const std::string& exePath);
std::string ChooseCultureName(HINSTANCE instance);

// File name of the resource library for an executable's file name, or "" when
// the name leaves nothing before its extension.
std::string ResourceDllName(const std::string& exeFileName);

// Frees the library in `slot` (unless it is the instance), then loads the
// culture's resource library for the executable at exePath.  On return the
// slot holds the loaded library, or the instance when English is asked for or
// no library could be loaded (one that is there but fails the checks of
// LoadCheckedLibrary is noted as refused, platform/StartupFile.h).  A culture name with anything but ASCII letters,
// digits and hyphens is taken as no culture.
void LoadResourceDllFor(const std::string& exePath, const char* cultureName, HINSTANCE instance, HINSTANCE& slot);
// The same for the executable of the instance.
void LoadResourceDll(const char* cultureName, HINSTANCE instance, HINSTANCE& slot);

// Frees the library in `slot` unless it is the instance; the slot becomes null.
void FreeResourceDll(HINSTANCE& slot, HINSTANCE instance);
