#include "tests/support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>

TempDir::TempDir()
{
    char templ[] = "/tmp/tamble-test-XXXXXX";
    if (!mkdtemp(templ))
        throw std::runtime_error("mkdtemp failed");
    m_path = templ;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool PathExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

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
