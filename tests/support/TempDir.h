// A fresh temporary folder for one test, removed with everything in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool PathExists(const std::string& path);

// A copy of the program exe, with the language folders beside it, in a folder
// every user may enter, for runs as another user: the build folder may lie
// where only its owner can go, as a clone in root's home does.  Made once.
std::string ProgramAnyUserMayRun(const std::string& exe);

// A copy of file (a library to preload, say) in that same folder.
std::string FileAnyUserMayRun(const std::string& file);
