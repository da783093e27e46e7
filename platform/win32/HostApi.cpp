// The Win32 calls of platform/win32/HostApi.h.
#include "platform/win32/HostApi.h"

#include "platform/win32/FileCalls.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>

namespace hostapi {

namespace {

std::string SystemText(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length
        = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length != 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
    if (text != nullptr)
        LocalFree(text);
    while (!message.empty()
           && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    char number[32];
    std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
    return message.empty() ? std::string(number) : Utf8(message) + " (" + number + ")";
}

HMODULE AsModule(void* module)
{
    return static_cast<HMODULE>(module);
}

// The shell library, loaded once for the life of the process: Shell32.dll,
// or SHFolder.dll where a system lacks the shell's folder functions.
HMODULE ShellLibrary()
{
    static HMODULE shell = LoadLibraryW(L"shell32.dll");
    return shell;
}

HMODULE FolderLibrary()
{
    static HMODULE folder = LoadLibraryW(L"shfolder.dll");
    return folder;
}

template <typename Proc>
Proc ShellProc(HMODULE library, const char* name)
{
    return library != nullptr ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(library, name)))
                              : nullptr;
}

// FOLDERID_LocalAppData and FOLDERID_Documents, spelt out so that no GUID
// library is needed.
constexpr GUID kLocalAppData = {0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
constexpr GUID kDocuments = {0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}};

std::string WithoutTrailingSeparator(std::wstring path)
{
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return Utf8(path);
}

UINT g_savedConsoleCp = 0;

}   // namespace

std::wstring Wide(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::string Utf8(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int length
        = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

void* ExecutableModule()
{
    return GetModuleHandleW(nullptr);
}

std::string ModulePath(void* module)
{
    // Long paths are longer than MAX_PATH: the buffer grows until the name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(AsModule(module), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return Utf8(buffer);
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

void* LoadDataLibrary(const std::string& path, std::string& why)
{
    const std::wstring name = Wide(path);
    // As an image resource the library is mapped as data with its sections in
    // place; systems before Vista know only the plain data file.
    HMODULE module = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr)
        module = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        why = SystemText(GetLastError());
    return module;
}

bool ReleaseModule(void* module)
{
    return module != nullptr && FreeLibrary(AsModule(module)) != 0;
}

void* ModuleProc(void* module, const char* name)
{
    if (module == nullptr || name == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(AsModule(module), name));
}

bool HasStringTable(void* module)
{
    // The block of the dialog's strings (129..135 are in block 9).
    return module != nullptr
           && FindResourceW(AsModule(module), MAKEINTRESOURCEW(129 / 16 + 1), MAKEINTRESOURCEW(6)) != nullptr;
}

bool ReadString(void* module, unsigned id, std::string& text)
{
    if (id > 0xFFFF)
        return false;
    // RT_STRING (6).  A string table block holds 16 strings, each a length and that many
    // UTF-16 units; an empty entry is a string the table does not have.
    HRSRC found = FindResourceW(AsModule(module), MAKEINTRESOURCEW(id / 16 + 1), MAKEINTRESOURCEW(6));
    if (found == nullptr)
        return false;
    HGLOBAL loaded = LoadResource(AsModule(module), found);
    const auto* at = static_cast<const WCHAR*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (at == nullptr)
        return false;
    const DWORD units = SizeofResource(AsModule(module), found) / sizeof(WCHAR);
    DWORD pos = 0;
    for (unsigned entry = 0; entry < id % 16; ++entry) {
        if (pos >= units)
            return false;
        pos += 1 + at[pos];
    }
    if (pos >= units || at[pos] == 0 || pos + 1 + at[pos] > units)
        return false;
    text = Utf8(std::wstring_view(at + pos + 1, at[pos]));
    return true;
}

PathKind KindOf(const std::string& path, std::uint64_t& size, std::string& why)
{
    size = 0;
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!FileCalls().GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME
            || error == ERROR_BAD_PATHNAME || error == ERROR_DIRECTORY)
            return PathKind::Missing;
        why = SystemText(error);
        return PathKind::Error;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return PathKind::Link;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return PathKind::Folder;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
        return PathKind::Device;
    size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return PathKind::File;
}

std::intptr_t OpenPlainFile(const std::string& path, std::string& why)
{
    // Not through a link, and only what is a file on a disk: a device or a
    // pipe that a name leads to is not read.
    HANDLE file = FileCalls().CreateFileW(
        Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = SystemText(GetLastError());
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    if (FileCalls().GetFileType(file) != FILE_TYPE_DISK || !FileCalls().GetFileInformationByHandle(file, &info)
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        why = "not a regular file";
        FileCalls().CloseHandle(file);
        return -1;
    }
    return reinterpret_cast<std::intptr_t>(file);
}

bool ReadFileBytes(const std::string& path, std::size_t limit, std::string& bytes, std::string& why)
{
    bytes.clear();
    const std::intptr_t opened = OpenPlainFile(path, why);
    if (opened == -1)
        return false;
    HANDLE file = reinterpret_cast<HANDLE>(opened);
    char chunk[16384];
    for (;;) {
        DWORD read = 0;
        if (!FileCalls().ReadFile(file, chunk, sizeof chunk, &read, nullptr)) {
            why = SystemText(GetLastError());
            FileCalls().CloseHandle(file);
            return false;
        }
        if (read == 0)
            break;
        bytes.append(chunk, read);
        if (bytes.size() > limit)
            break;
    }
    FileCalls().CloseHandle(file);
    return true;
}

bool ProfileString(const std::string& file, const char* section, const char* key, std::string& value)
{
    const std::wstring path = Wide(file);
    const std::wstring sectionName = Wide(section);
    const std::wstring keyName = Wide(key);
    // A default no file can hold tells a missing key from an empty value.
    const wchar_t missing[] = L"\x01\x02";
    std::wstring buffer(256, L'\0');
    for (;;) {
        const DWORD length = GetPrivateProfileStringW(sectionName.c_str(), keyName.c_str(), missing, buffer.data(),
                                                      static_cast<DWORD>(buffer.size()), path.c_str());
        if (length + 1 < buffer.size() || buffer.size() >= (1u << 20)) {
            buffer.resize(length);
            break;
        }
        buffer.assign(buffer.size() * 4, L'\0');
    }
    if (buffer == missing)
        return false;
    value = Utf8(buffer);
    return true;
}

bool KnownFolderPath(int csidl, std::string& path)
{
    using Proc = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
    static const Proc getKnownFolderPath = ShellProc<Proc>(ShellLibrary(), "SHGetKnownFolderPath");
    const GUID* id = csidl == CSIDL_LOCAL_APPDATA ? &kLocalAppData : csidl == CSIDL_PERSONAL ? &kDocuments : nullptr;
    if (getKnownFolderPath == nullptr || id == nullptr)
        return false;
    PWSTR folder = nullptr;
    const HRESULT result = getKnownFolderPath(*id, 0, nullptr, &folder);
    const bool found = SUCCEEDED(result) && folder != nullptr && folder[0] != L'\0';
    if (found)
        path = WithoutTrailingSeparator(folder);
    CoTaskMemFree(folder);
    return found;
}

bool FolderPathByNumber(int csidl, std::string& path)
{
    using Proc = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    static const Proc getFolderPath = [] {
        Proc proc = ShellProc<Proc>(ShellLibrary(), "SHGetFolderPathW");
        return proc != nullptr ? proc : ShellProc<Proc>(FolderLibrary(), "SHGetFolderPathW");
    }();
    if (getFolderPath == nullptr || (csidl != CSIDL_LOCAL_APPDATA && csidl != CSIDL_PERSONAL))
        return false;
    wchar_t folder[MAX_PATH] = L"";
    if (FAILED(getFolderPath(nullptr, csidl, nullptr, 0, folder)) || folder[0] == L'\0')
        return false;
    path = WithoutTrailingSeparator(folder);
    return true;
}

unsigned UserDefaultLcid()
{
    return GetUserDefaultLCID();
}

std::vector<std::string> CommandLineArguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr)
        return arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Utf8(words[i]));
    LocalFree(words);
    return arguments;
}

void AttachParentConsole()
{
    const auto missing = [](DWORD which) {
        HANDLE handle = GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    };
    // A program of the GUI subsystem gets no console; one started from a
    // console without redirection writes to that console.
    if ((missing(STD_ERROR_HANDLE) || missing(STD_OUTPUT_HANDLE)) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (missing(STD_OUTPUT_HANDLE) && std::freopen("CONOUT$", "w", stdout) != nullptr)
            SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
        if (missing(STD_ERROR_HANDLE) && std::freopen("CONOUT$", "w", stderr) != nullptr)
            SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr))));
    }
    // The messages are UTF-8: a console shows them so while the program runs,
    // and gets its own code page back at the end.
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) && GetConsoleOutputCP() != CP_UTF8) {
        g_savedConsoleCp = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
        std::atexit([] { SetConsoleOutputCP(g_savedConsoleCp); });
    }
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

}   // namespace hostapi
