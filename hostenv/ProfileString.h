// Reading one value from a settings file of sections and key=value lines.
//
// Sections and keys are compared without regard to ASCII case; the first
// matching key wins.  Blanks around keys and values are ignored, and a value
// enclosed in a pair of single or double quotes loses the quotes.  Lines are
// parsed by libinih, so ';' after a blank starts a comment, "key: value" is
// read like "key=value", and only the first 199 characters of a line are read.
//
// A settings file is read only when it is a regular file of at most
// SETTINGS_FILE_LIMIT bytes (platform/StartupFile.h); one that is there but is
// anything else counts as absent and is noted once for a warning.
#pragma once

#include "platform/Types.h"

#include <string>

// Copies the value of `key` in `section` of `file` into `buffer` (`size`
// bytes), or `def` (empty when null, trailing blanks dropped) when the file,
// the section or the key is missing.  The text is cut to fit the buffer and
// always terminated when size > 0.  Returns the length copied.  A null section
// or key gives the default.
UINT GetPrivateProfileStringA(const char* section, const char* key, const char* def, char* buffer, UINT size,
                              const char* file);

// The whole text of the settings file `file`; false when it is absent or
// refused (a refusal is noted).
bool ReadSettingsText(const std::string& file, std::string& text);

// The same without a length limit.
std::string GetProfileString(const std::string& file, const char* section, const char* key, const char* def);
