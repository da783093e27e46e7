#include "tests/support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/stat.h>

namespace {

// The file system's path of a UTF-8 name (on Windows the C runtime's narrow names
// are in the code page, not UTF-8).
std::filesystem::path FsPath(const std::string& name)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
#else
    return name;
#endif
}

}   // namespace

TempDir::TempDir()
{
#ifdef _WIN32
    // No mkdtemp: a random name in the temporary folder, created exclusively.
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const std::filesystem::path path = base / ("tamble-test-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(path, ec)) {
            const std::u8string utf8 = path.generic_u8string();
            m_path.assign(utf8.begin(), utf8.end());
        }
    }
    if (m_path.empty())
        throw std::runtime_error("cannot create a temporary folder");
#else
    char templ[] = "/tmp/tamble-test-XXXXXX";
    if (!mkdtemp(templ))
        throw std::runtime_error("mkdtemp failed");
    m_path = templ;
#endif
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(FsPath(m_path), ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(FsPath(m_path), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ec);
    std::filesystem::remove_all(FsPath(m_path), ec);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool PathExists(const std::string& path)
{
#ifdef _WIN32
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), ec));
#else
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
#endif
}

#ifndef _WIN32   // runs as another user are tests of the Linux program

namespace {

// One folder anyone may enter, for copies of what another user must run.
const std::string& SharedCopyFolder()
{
    static TempDir copy;
    static const bool opened = ::chmod(copy.Path().c_str(), 0755) == 0;
    (void)opened;
    return copy.Path();
}

}   // namespace

std::string ProgramAnyUserMayRun(const std::string& exe)
{
    namespace fs = std::filesystem;
    static const std::string path = [&] {
        const fs::path program = exe;
        std::error_code error;
        for (const char* language : {"de", "fr"})
            if (fs::is_directory(program.parent_path() / language, error))
                fs::copy(program.parent_path() / language, fs::path(SharedCopyFolder()) / language,
                         fs::copy_options::recursive, error);
        return FileAnyUserMayRun(exe);
    }();
    return path;
}

std::string FileAnyUserMayRun(const std::string& file)
{
    namespace fs = std::filesystem;
    const fs::path target = fs::path(SharedCopyFolder()) / fs::path(file).filename();
    std::error_code error;
    // Copied once: a run may still have the copy mapped.
    if (fs::copy_file(file, target, fs::copy_options::skip_existing, error))
        ::chmod(target.c_str(), 0755);
    return target.string();
}
#endif
