// The data-acquisition product's folders and its settings file.
//
// The settings file "Program Settings.ini" is the one beside the executable,
// else the one in the system's settings folder (/etc/tamble/, where the
// package installs it; PREFIX/etc/tamble/ for another prefix); the first that
// exists is read, whole (a file that is not a regular file, or one over 1 MiB,
// counts as absent).  It
// names the product (section OEM, key ProductName, default "Keldo") and its
// version (section Install, key Version, default "6.1"); CompanyID 40 in
// section OEM leaves the version out of the folder names.  Without the file
// the folders are the user's folders themselves.
//
// Folder kinds:
//   PRODUCT_FOLDER_DATA      local application data folder/<product name>/
//   PRODUCT_FOLDER_PROJECTS  documents folder/<product name> Projects/
// Each is taken from the folder the user configured, then from the usual
// folder under the home directory (hostenv/ShellFolders.h), then, when neither
// can be had, it is the executable's folder.  Every folder ends with "/".
//
// On Windows the settings file is the one beside the executable only, read
// with the system's private-profile reader; the folders are the shell's
// known folders (SHGetKnownFolderPath, else SHGetFolderPath), and end with a
// backslash.
#pragma once

#include <cstddef>
#include <string>

constexpr int PRODUCT_FOLDER_DATA = 0;
constexpr int PRODUCT_FOLDER_PROJECTS = 1;

// Writes the folder of `kind` for an executable at `exePath` into `buffer`
// (`size` bytes, cut to fit) and returns the buffer; null when buffer is null
// or size is 0.  An unknown kind gives the executable's folder, and an empty
// path the empty string.
char* GetProductFolderFor(const std::string& exePath, char* buffer, std::size_t size, int kind);

// "ProductName vVersion", or "ProductName" alone without version, read from the
// settings file at `settingsPath` into `buffer` (cut to fit); returns buffer.
char* BuildProductName(const char* settingsPath, char* buffer, std::size_t size, bool withVersion);

// The system's settings folder, ending with "/".
extern const char* const TAMBLE_SETTINGS_FOLDER;
// The environment variable that the tests set to put the system's settings
// folder elsewhere (empty: there is none), so that no test reads the
// machine's own settings.  Ignored in a set-user-id or set-group-id run.
extern const char* const TAMBLE_SETTINGS_DIR_VARIABLE;
// The system's settings folder in force for an executable at `exePath`, ending
// with "/" ("" for none): the tests' folder when set, else PREFIX/etc/tamble/
// for one installed as PREFIX/lib/tamble/tamble (/etc/tamble/ for the prefix
// /usr), else TAMBLE_SETTINGS_FOLDER.
std::string SystemSettingsFolder(const std::string& exePath);
// The settings file for an executable at `exePath`: beside it, else in the
// system's settings folder; "" when neither exists.  A refused file (not a
// regular file, too large: hostenv/ProfileString.h) counts as absent.
std::string FindSettingsFile(const std::string& exePath);

// True when the path names an existing entry that is not a folder.
bool FileExists(const char* path);
// True when the path names an existing folder.
bool FolderExists(const char* path);
