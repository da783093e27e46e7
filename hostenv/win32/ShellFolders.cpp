// The user's folders on Windows: the shell's known folder, else the folder of
// the older CSIDL lookup.
#include "hostenv/ShellFolders.h"

#include "platform/UserSettings.h"

bool ShellGetKnownFolderPath(int folder, std::string& path)
{
    return SystemKnownFolderPath(folder, path);
}

bool ShellGetFolderPath(int folder, std::string& path)
{
    return SystemFolderPath(folder, path);
}
