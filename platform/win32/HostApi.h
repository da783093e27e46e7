// The Win32 calls behind the start-up pieces of platform/ (modules, resources,
// settings files, shell folders, locale, console, command line), declared
// without <windows.h>: the program's own LoadLibraryA, FreeLibrary,
// GetProcAddress and GetModuleFileNameA (platform/ResourceLibrary.h,
// platform/ModulePath.h) share their names with the system's, so the files
// that define them cannot see the system's declarations.  Handles are plain
// pointers; texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hostapi {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The executable's own module handle, and the full path of a module (null:
// the executable); "" when it cannot be had.
void* ExecutableModule();
std::string ModulePath(void* module);

// A resource-only library loaded as data (no code of it runs), or null and
// the system's text of the error in `why`.
void* LoadDataLibrary(const std::string& path, std::string& why);
bool ReleaseModule(void* module);
void* ModuleProc(void* module, const char* name);
// Whether the library holds a string table (an icon group, a dialog) at all.
bool HasStringTable(void* module);

// String `id` of the module's string table as UTF-8; false when it has none.
bool ReadString(void* module, unsigned id, std::string& text);

// What a path names, through its attributes, without opening it: missing, a
// folder, a device or pipe name, a link or junction (reparse point), or a
// plain file of `size` bytes.
enum class PathKind { Missing, Folder, Device, Link, File, Error };
PathKind KindOf(const std::string& path, std::uint64_t& size, std::string& why);
// A plain file opened for reading only, shared with writers, never through a
// link: its handle's value, or -1 and why.
std::intptr_t OpenPlainFile(const std::string& path, std::string& why);
// Reads at most `limit` + 1 bytes of a plain file, opened for reading only
// and shared with writers; false and `why` on an error.
bool ReadFileBytes(const std::string& path, std::size_t limit, std::string& bytes, std::string& why);

// GetPrivateProfileStringW: the value, or false when the key is not there.
bool ProfileString(const std::string& file, const char* section, const char* key, std::string& value);

// The shell's folder of a CSIDL number: SHGetKnownFolderPath (through its
// known-folder id), or the older SHGetFolderPathW, each bound at run time.
bool KnownFolderPath(int csidl, std::string& path);
bool FolderPathByNumber(int csidl, std::string& path);

unsigned UserDefaultLcid();

// The program's arguments, split by the system's rules, as UTF-8.
std::vector<std::string> CommandLineArguments();

// Standard streams for a program without a console of its own: where the
// caller handed none, those of the parent's console when it has one; binary,
// so that the bytes are those of the Linux build.
void AttachParentConsole();

}   // namespace hostapi
