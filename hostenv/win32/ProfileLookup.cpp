// Settings values on Windows: the system's private-profile reader, given the
// file after the same check of it as on Linux.
#include "hostenv/ProfileLookup.h"

#include "platform/UserSettings.h"

bool FindProfileValue(const std::string& file, const std::string&, const char* section, const char* key,
                      std::string& value)
{
    return SystemProfileString(file, section, key, value);
}
