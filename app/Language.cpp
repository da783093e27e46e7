// Language choice from settings and locale, and the resource library search.
#include "app/Language.h"

#include "hostenv/ProductFolder.h"
#include "hostenv/ProfileString.h"
#include "hostenv/TextBuffer.h"
#include "platform/DirSearch.h"
#include "platform/PathSeparator.h"
#include "platform/UserSettings.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <limits.h>

namespace {

constexpr UINT LCID_EN_US = 0x0409;
constexpr std::size_t CULTURE_NAME_SIZE = 255;

// Letters, digits and hyphens only: a culture name becomes a folder name, so
// it must not lead out of the executable's folder.
bool IsPlainCultureName(const std::string& name)
{
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
            return false;
    return true;
}

// The part before the last hyphen, or "" when there is none.
std::string ShorterCulture(const std::string& name)
{
    const size_t hyphen = name.rfind('-');
    return hyphen == std::string::npos ? std::string() : name.substr(0, hyphen);
}

// The folder in `folder` named `culture`: that very name, else the first, in
// byte order, that differs from it only in case ("DE-de" finds de-DE/), since
// culture names are compared without regard to case.  Empty when there is none.
std::string FindCultureFolder(const std::string& folder, const std::string& culture)
{
    if (FolderExists((folder + culture).c_str()))
        return culture;
#ifdef _WIN32
    // Windows compares names without regard to case itself.
    return {};
#else
    std::string found;
    for (const DirEntry& entry : ReadFolderNames(folder)) {
        if (strcasecmp(entry.name.c_str(), culture.c_str()) == 0 && (found.empty() || entry.name < found)
            && FolderExists((folder + entry.name).c_str()))
            found = entry.name;
    }
    return found;
#endif
}

}   // namespace

UINT LocaleNameToLcid(const char* localeName)
{
    if (localeName == nullptr)
        return LCID_EN_US;
    // language[_territory][.codeset][@modifier]
    std::string name = localeName;
    std::string modifier;
    if (const size_t at = name.find('@'); at != std::string::npos) {
        modifier = name.substr(at + 1);
        name.erase(at);
    }
    if (const size_t dot = name.find('.'); dot != std::string::npos)
        name.erase(dot);
    if (name.empty() || name == "C" || name == "POSIX")
        return LCID_EN_US;
    for (char& c : name)
        if (c == '_')
            c = '-';
    if (modifier == "latin")
        name += "-Latn";
    else if (modifier == "cyrillic")
        name += "-Cyrl";
    for (; !name.empty(); name = ShorterCulture(name))
        if (const UINT lcid = CultureNameToLcid(name.c_str()))
            return lcid;
    return LOCALE_CUSTOM_UNSPECIFIED;
}

UINT GetUserDefaultLCID()
{
#ifdef _WIN32
    return SystemUserLocaleId();
#else
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return LocaleNameToLcid(value);
    }
    return LCID_EN_US;
#endif
}

std::string ChooseCultureNameFor(const std::string& exePath)
{
    char folder[PATH_MAX];
    GetProductFolderFor(exePath, folder, sizeof folder, PRODUCT_FOLDER_DATA);
    char culture[CULTURE_NAME_SIZE] = "";
    // Without a folder there is no per-user file (and no relative path is tried).
    if (folder[0] != '\0') {
        const std::string settingsPath = std::string(folder) + "Program Settings.ini";
        GetPrivateProfileStringA("Language", "CultureName", "", culture, sizeof culture, settingsPath.c_str());
    }
    if (culture[0] == '\0')
        CopyToBuffer(culture, sizeof culture, LcidToCultureName(GetUserDefaultLCID()));
    return culture;
}

std::string ChooseCultureName(HINSTANCE instance)
{
    return ChooseCultureNameFor(GetModuleFileName(instance));
}

std::string ResourceDllName(const std::string& exeFileName)
{
    std::string file = exeFileName;
    std::string suffix;
    if (const size_t dot = file.rfind('.'); dot != std::string::npos) {
        const std::string extension = file.substr(dot + 1);
        for (const char* known : {"dll", "exe", "ocx"})
            if (strcasecmp(extension.c_str(), known) == 0) {
                for (char c : extension)
                    suffix += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                file.erase(dot);
                break;
            }
    }
    if (file.empty())
        return {};
    return file + (suffix.empty() ? "" : "-" + suffix) + "-mui.dll";
}

void LoadResourceDllFor(const std::string& exePath, const char* cultureName, HINSTANCE instance, HINSTANCE& slot)
{
    if (slot != nullptr && slot != instance)
        FreeLibrary(slot);
    slot = instance;

    std::string culture = cultureName != nullptr ? cultureName : "";
    if (!IsPlainCultureName(culture))
        culture.clear();
    if (strcasecmp(culture.c_str(), "en-US") == 0)
        return;   // English is the program's own

    const size_t separator = LastPathSeparator(exePath);
    if (separator == std::string::npos)
        return;
    std::string folder = exePath.substr(0, separator + 1);
    const std::string library = ResourceDllName(exePath.substr(separator + 1));
    if (library.empty())
        return;

    // "sr-SP-Latn" tries sr-SP-Latn/, sr-SP/ and sr/, then the executable's folder.
    for (; !culture.empty(); culture = ShorterCulture(culture))
        if (const std::string found = FindCultureFolder(folder, culture); !found.empty()) {
            folder += found + PATH_SEPARATOR;
            break;
        }

    // A library that is there but fails its check or its load leaves English,
    // noted for one warning.
    const std::string path = folder + library;
    StartupFileResult result = StartupFileResult::Missing;
    std::string why;
    if (HMODULE loaded = LoadCheckedLibrary(path, result, why))
        slot = loaded;
    else if (result == StartupFileResult::Refused)
        NoteRefusedFile(RefusedKind::LanguageLibrary, path, why);
}

void LoadResourceDll(const char* cultureName, HINSTANCE instance, HINSTANCE& slot)
{
    LoadResourceDllFor(GetModuleFileName(instance), cultureName, instance, slot);
}

void FreeResourceDll(HINSTANCE& slot, HINSTANCE instance)
{
    if (slot != nullptr && slot != instance)
        FreeLibrary(slot);
    slot = nullptr;
}
