// The user's folders, after the XDG base-directory and user-directory rules.
//
// Two lookups, tried in this order by the product-folder search:
//   ShellGetKnownFolderPath  the folder the user configured: $XDG_DATA_HOME for
//                            local application data, XDG_DOCUMENTS_DIR from
//                            user-dirs.dirs in $XDG_CONFIG_HOME (~/.config when
//                            unset) for documents;
//   ShellGetFolderPath       the usual folder under the home directory:
//                            ~/.local/share and ~/Documents.
// The home directory is $HOME, or the password database's entry when HOME is
// unset or empty.  Results are absolute paths without a trailing slash ("/" for
// the root itself); a folder need not exist.
#pragma once

#include <string>

// Folder numbers (the shell's CSIDL numbers, kept for familiarity).
constexpr int CSIDL_PERSONAL = 5;         // documents
constexpr int CSIDL_LOCAL_APPDATA = 28;   // local application data

// True and the folder in `path` when the user configured one for the number.
bool ShellGetKnownFolderPath(int folder, std::string& path);
// True and the folder in `path` when the home directory is known.
bool ShellGetFolderPath(int folder, std::string& path);
