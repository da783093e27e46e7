// Product folder lookup from the settings file and the user's folders.
#include "hostenv/ProductFolder.h"

#include "hostenv/ProfileString.h"
#include "hostenv/ShellFolders.h"
#include "hostenv/TextBuffer.h"
#include "platform/DirSearch.h"
#include "platform/PathSeparator.h"

#include <cstdlib>

namespace {

constexpr char SETTINGS_FILE_NAME[] = "Program Settings.ini";
constexpr int COMPANY_WITHOUT_VERSION = 40;
constexpr std::size_t PRODUCT_NAME_SIZE = 128;

// The folder name below the user's folder: the product name, " Projects" for
// the projects folder, and a slash.  The product name is cut to its 128-byte
// buffer first, so the suffix and the slash are always there.
std::string ProductSubfolder(const std::string& settingsPath, int kind)
{
    char companyId[128];
    GetPrivateProfileStringA("OEM", "CompanyID", "0", companyId, sizeof companyId, settingsPath.c_str());
    const long company = std::strtol(companyId, nullptr, 10);
    char name[PRODUCT_NAME_SIZE];
    std::string subfolder
        = BuildProductName(settingsPath.c_str(), name, sizeof name, company != COMPANY_WITHOUT_VERSION);
    if (kind == PRODUCT_FOLDER_PROJECTS)
        subfolder += " Projects";
    return subfolder + PATH_SEPARATOR;
}

char* WriteFolder(char* buffer, std::size_t size, std::string folder, const std::string& subfolder)
{
    if (folder == "/")
        folder.clear();
    CopyToBuffer(buffer, size, folder + PATH_SEPARATOR + subfolder);
    return buffer;
}

}   // namespace

const char* const TAMBLE_SETTINGS_FOLDER = TAMBLE_SETTINGS_DIR "/";
const char* const TAMBLE_SETTINGS_DIR_VARIABLE = "TAMBLE_TEST_SETTINGS_DIR";

std::string FindSettingsFile(const std::string& exePath)
{
    std::string text;
    // A bare file name has no folder to hold the settings file.
    const std::string::size_type slash = LastPathSeparator(exePath);
    if (slash != std::string::npos) {
        const std::string beside = exePath.substr(0, slash + 1) + SETTINGS_FILE_NAME;
        if (ReadSettingsText(beside, text))
            return beside;
    }
    const std::string folder = SystemSettingsFolder(exePath);
    if (folder.empty())
        return {};
    const std::string system = folder + SETTINGS_FILE_NAME;
    return ReadSettingsText(system, text) ? system : std::string();
}

#ifndef TAMBLE_INSTALL_DIR
#define TAMBLE_INSTALL_DIR "lib/tamble"
#endif

std::string SystemSettingsFolder(const std::string& exePath)
{
#ifdef _WIN32
    // Windows keeps the settings beside the program only.
    (void)exePath;
    return {};
#else
    // Set by the tests only, so that they never read the machine's own file.
    if (const char* folder = secure_getenv(TAMBLE_SETTINGS_DIR_VARIABLE))
        return folder[0] != '\0' ? std::string(folder) + "/" : std::string();
    // Installed as PREFIX/lib/tamble/tamble: the settings are where the
    // install put them, PREFIX/etc/tamble/ (/etc/tamble/ for the prefix /usr).
    const std::string installed = "/" TAMBLE_INSTALL_DIR "/";
    const std::string::size_type slash = exePath.rfind('/');
    if (slash != std::string::npos && slash + 1 >= installed.size()
        && exePath.compare(slash + 1 - installed.size(), installed.size(), installed) == 0) {
        const std::string prefix = exePath.substr(0, slash + 1 - installed.size());
        return (prefix == "/usr" ? std::string() : prefix) + "/etc/tamble/";
    }
    return TAMBLE_SETTINGS_FOLDER;
#endif
}

char* GetProductFolderFor(const std::string& exePath, char* buffer, std::size_t size, int kind)
{
    if (buffer == nullptr || size == 0)
        return nullptr;
    buffer[0] = '\0';
    try {
        if (exePath.empty())
            return buffer;
        const std::string::size_type separator = LastPathSeparator(exePath);
        const std::string exeFolder = separator == std::string::npos ? std::string() : exePath.substr(0, separator + 1);
        CopyToBuffer(buffer, size, exeFolder);

        const std::string settingsPath = FindSettingsFile(exePath);
        std::string subfolder;
        if (!settingsPath.empty())
            subfolder = ProductSubfolder(settingsPath, kind);

        int folder = 0;
        if (kind == PRODUCT_FOLDER_DATA)
            folder = CSIDL_LOCAL_APPDATA;
        else if (kind == PRODUCT_FOLDER_PROJECTS)
            folder = CSIDL_PERSONAL;
        else
            return buffer;

        std::string userFolder;
        if (ShellGetKnownFolderPath(folder, userFolder) || ShellGetFolderPath(folder, userFolder))
            return WriteFolder(buffer, size, userFolder, subfolder);
        return buffer;
    } catch (...) {
        return buffer;   // as far as it got
    }
}

char* BuildProductName(const char* settingsPath, char* buffer, std::size_t size, bool withVersion)
{
    const std::string file = settingsPath != nullptr ? settingsPath : "";
    char product[256];
    GetPrivateProfileStringA("OEM", "ProductName", "Keldo", product, sizeof product, file.c_str());
    std::string name = product;
    if (withVersion) {
        char version[128];
        GetPrivateProfileStringA("Install", "Version", "6.1", version, sizeof version, file.c_str());
        name += " v";
        name += version;
    }
    CopyToBuffer(buffer, size, name);
    return buffer;
}

bool FileExists(const char* path)
{
    return path != nullptr && KindOfPath(path) == PathKind::Other;
}

bool FolderExists(const char* path)
{
    return path != nullptr && KindOfPath(path) == PathKind::Folder;
}
