// Finding one value in a settings file whose text has passed its check: libinih
// over that text on Linux, the system's private-profile reader on Windows.
#pragma once

#include <string>

// The value of `key` in `section` (compared without ASCII case; the first
// matching key wins, quotes around it dropped) into `value`; false when the
// section or the key is missing.
bool FindProfileValue(const std::string& file, const std::string& text, const char* section, const char* key,
                      std::string& value);
