// dlopen covers and the text lookup through the current resource library.
#include "platform/ResourceLibrary.h"

#include "platform/ResourceAbi.h"
#include "platform/StringIds.h"
#include "platform/SysCall.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

// The ELF header of the program itself, which every library it loads must match.
extern "C" const ElfW(Ehdr) __ehdr_start __attribute__((visibility("hidden")));

namespace {

// Reads exactly size bytes at offset.
bool ReadAt(int fd, void* data, std::size_t size, std::uint64_t offset)
{
    auto* at = static_cast<unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = RetryEintr([&] { return ::pread(fd, at, size, static_cast<off_t>(offset)); });
        if (n <= 0)
            return false;
        at += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

// "" when the open file of `size` bytes is a shared object that dlopen can map
// without touching a page past the file's end; else what is wrong.
std::string CheckSharedObject(int fd, std::uint64_t size)
{
    ElfW(Ehdr) header {};
    if (size < sizeof header || !ReadAt(fd, &header, sizeof header, 0)
        || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return "not an ELF file";
    const ElfW(Ehdr)& own = __ehdr_start;
    if (header.e_ident[EI_CLASS] != own.e_ident[EI_CLASS] || header.e_ident[EI_DATA] != own.e_ident[EI_DATA]
        || header.e_ident[EI_VERSION] != EV_CURRENT || header.e_version != EV_CURRENT
        || header.e_machine != own.e_machine)
        return "an ELF file for another kind of machine";
    if (header.e_type != ET_DYN)
        return "not a shared object";
    if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0 || header.e_phnum == PN_XNUM)
        return "no usable program header table";
    const std::uint64_t tableSize = std::uint64_t {header.e_phnum} * sizeof(ElfW(Phdr));
    if (header.e_phoff > size || tableSize > size - header.e_phoff)
        return "its program headers lie beyond the end of the file";
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    if (!ReadAt(fd, segments.data(), tableSize, header.e_phoff))
        return "its program headers cannot be read";
    bool loadable = false;
    for (const ElfW(Phdr) & segment : segments) {
        if (segment.p_type != PT_LOAD)
            continue;
        loadable = true;
        if (segment.p_offset > size || segment.p_filesz > size - segment.p_offset)
            return "a segment lies beyond the end of the file (" + std::to_string(size) + " bytes)";
    }
    if (!loadable)
        return "no loadable segment";
    return {};
}

// dlerror's text, or a general one.
std::string LoadError()
{
    const char* error = dlerror();
    return error != nullptr ? error : "cannot be loaded";
}

// The current library when it is one that can hold translations.
HMODULE TranslationLibrary()
{
    HINSTANCE resources = AfxGetResourceHandle();
    if (resources == nullptr || resources == AfxGetInstanceHandle())
        return nullptr;
    return resources;
}

}   // namespace

HINSTANCE AfxGetInstanceHandle()
{
    static HINSTANCE instance = dlopen(nullptr, RTLD_NOW);
    return instance;
}

HMODULE LoadLibraryA(const char* path)
{
    if (path == nullptr || *path == '\0')
        return nullptr;
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

HMODULE LoadCheckedLibrary(const std::string& path, StartupFileResult& result, std::string& why)
{
    int fd = -1;
    std::uint64_t size = 0;
    result = OpenRegularFile(path, fd, size, why);
    if (result != StartupFileResult::Ok)
        return nullptr;
    result = StartupFileResult::Refused;
    why = CheckSharedObject(fd, size);
    if (!why.empty()) {
        ::close(fd);
        return nullptr;
    }
    // The checked file itself, where /proc shows that descriptor as that file.
    const std::string fdPath = "/proc/self/fd/" + std::to_string(fd);
    struct stat opened {};
    struct stat shown {};
    const bool byDescriptor = ::fstat(fd, &opened) == 0 && ::stat(fdPath.c_str(), &shown) == 0
                              && opened.st_dev == shown.st_dev && opened.st_ino == shown.st_ino;
    HMODULE module = dlopen(byDescriptor ? fdPath.c_str() : path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        why = LoadError();
        ::close(fd);
        return nullptr;
    }
    if (byDescriptor)
        RememberModulePath(module, path, fd);
    else
        ::close(fd);
    result = StartupFileResult::Ok;
    return module;
}

BOOL FreeLibrary(HMODULE module)
{
    if (module == nullptr)
        return FALSE;
    const bool closed = dlclose(module) == 0;
    if (closed)
        ForgetModulePath(module);
    return closed ? TRUE : FALSE;
}

void* GetProcAddress(HMODULE module, const char* name)
{
    if (module == nullptr || name == nullptr)
        return nullptr;
    return dlsym(module, name);
}

const char* LibraryString(HMODULE library, UINT id)
{
    auto proc = reinterpret_cast<TambleResStringProc>(GetProcAddress(library, TAMBLE_RES_STRING_PROC));
    return proc != nullptr ? proc(id) : nullptr;
}

const char* LookupResString(UINT id)
{
    if (HMODULE library = TranslationLibrary())
        if (const char* text = LibraryString(library, id))
            return text;
    return EnglishString(id);
}

const unsigned char* LookupResIcon(UINT id, UINT* size)
{
    if (size != nullptr)
        *size = 0;
    HMODULE library = TranslationLibrary();
    if (library == nullptr)
        return nullptr;
    auto proc = reinterpret_cast<TambleResIconProc>(GetProcAddress(library, TAMBLE_RES_ICON_PROC));
    if (proc == nullptr)
        return nullptr;
    unsigned length = 0;
    const unsigned char* data = proc(id, &length);
    if (data == nullptr || length == 0)
        return nullptr;
    if (size != nullptr)
        *size = length;
    return data;
}
