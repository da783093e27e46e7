// The system's own stores of settings and user folders, where it has them
// (Windows: private-profile files, the shell's known folders, the user's
// locale).  On Linux the settings files are read by hostenv/ and the folders
// follow the XDG rules there; these calls exist only on Windows.
#pragma once

#include "platform/Types.h"

#include <string>

#ifdef _WIN32

// The value of `key` in `section` of the private-profile file `file`
// (GetPrivateProfileString, which drops blanks and quotes around it); false
// when the file, the section or the key is not there.
bool SystemProfileString(const std::string& file, const char* section, const char* key, std::string& value);

// The shell's folder of a CSIDL number (5 documents, 28 local application
// data), without a trailing backslash: SHGetKnownFolderPath, or the older
// SHGetFolderPath, each bound by name at run time; false when the system
// does not give it.
bool SystemKnownFolderPath(int csidl, std::string& path);
bool SystemFolderPath(int csidl, std::string& path);

// GetUserDefaultLCID.
UINT SystemUserLocaleId();

#endif
