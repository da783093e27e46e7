// Settings files, shell folders and locale from the Win32 calls.
#include "platform/UserSettings.h"

#include "platform/win32/HostApi.h"

bool SystemProfileString(const std::string& file, const char* section, const char* key, std::string& value)
{
    if (section == nullptr || key == nullptr || file.empty())
        return false;
    return hostapi::ProfileString(file, section, key, value);
}

bool SystemKnownFolderPath(int csidl, std::string& path)
{
    return hostapi::KnownFolderPath(csidl, path);
}

bool SystemFolderPath(int csidl, std::string& path)
{
    return hostapi::FolderPathByNumber(csidl, path);
}

UINT SystemUserLocaleId()
{
    return hostapi::UserDefaultLcid();
}
