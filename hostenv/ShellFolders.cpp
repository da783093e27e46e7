// XDG folder lookup: environment, user-dirs.dirs and the home directory.
#include "hostenv/ShellFolders.h"

#include "hostenv/ProfileString.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

// An environment variable that holds an absolute path; XDG ignores others.
bool AbsoluteEnv(const char* name, std::string& value)
{
    const char* text = std::getenv(name);
    if (text == nullptr || text[0] != '/')
        return false;
    value = text;
    return true;
}

bool HomeFolder(std::string& home)
{
    if (AbsoluteEnv("HOME", home))
        return true;
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr
        || found->pw_dir == nullptr || found->pw_dir[0] != '/')
        return false;
    home = found->pw_dir;
    return true;
}

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The value of XDG_DOCUMENTS_DIR="..." in user-dirs.dirs: "$HOME/..." or an
// absolute path, with backslash escapes.
bool DocumentsFromUserDirs(std::string& path)
{
    std::string config;
    if (!AbsoluteEnv("XDG_CONFIG_HOME", config)) {
        std::string home;
        if (!HomeFolder(home))
            return false;
        config = home + "/.config";
    }
    std::string text;
    ReadSettingsText(config + "/user-dirs.dirs", text);
    std::istringstream file(text);
    const std::string key = "XDG_DOCUMENTS_DIR=\"";
    for (std::string line; std::getline(file, line);) {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
            continue;
        std::string value;
        for (size_t i = start + key.size(); i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size())
                ++i;
            value += line[i];
        }
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
            std::string home;
            if (!HomeFolder(home))
                return false;
            value = home + value.substr(5);
        }
        if (value.empty() || value[0] != '/')
            return false;
        path = WithoutTrailingSlash(value);
        return true;
    }
    return false;
}

}   // namespace

bool ShellGetKnownFolderPath(int folder, std::string& path)
{
    if (folder == CSIDL_LOCAL_APPDATA) {
        std::string value;
        if (!AbsoluteEnv("XDG_DATA_HOME", value))
            return false;
        path = WithoutTrailingSlash(value);
        return true;
    }
    if (folder == CSIDL_PERSONAL)
        return DocumentsFromUserDirs(path);
    return false;
}

bool ShellGetFolderPath(int folder, std::string& path)
{
    std::string home;
    if ((folder != CSIDL_LOCAL_APPDATA && folder != CSIDL_PERSONAL) || !HomeFolder(home))
        return false;
    home = WithoutTrailingSlash(home);
    if (home == "/")
        home.clear();
    path = home + (folder == CSIDL_LOCAL_APPDATA ? "/.local/share" : "/Documents");
    return true;
}
