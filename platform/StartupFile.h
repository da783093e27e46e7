// The files start-up reads (settings files, language libraries), opened so that
// no odd file can hold it up or end it.
//
// A file is opened for reading without blocking, without becoming the
// controlling terminal and closed on exec; only a regular file is taken (a
// FIFO, device, socket or folder is refused, and is never opened when it is one
// already by its path), and it is read only up to a bound.  A file refused here
// is one the caller treats as absent; the reason is kept for one warning line
// per file (NoteRefusedFile, TakeRefusedFiles).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class StartupFileResult {
    Ok,        // opened (and read)
    Missing,   // no such file: nothing to say about it
    Refused,   // there, but not usable; `why` says what is wrong
};

// Opens `path` as described above; on Ok, `fd` is the descriptor (the caller
// closes it) and `size` the file's size.
StartupFileResult OpenRegularFile(const std::string& path, int& fd, std::uint64_t& size, std::string& why);

// Reads the whole regular file at `path` into `text`.  A file of more than
// `limit` bytes is refused, not read in part (a settings file cut at the bound
// could read as other settings).
StartupFileResult ReadRegularFile(const std::string& path, std::size_t limit, std::string& text, std::string& why);

// The largest settings file read.
constexpr std::size_t SETTINGS_FILE_LIMIT = 1024 * 1024;

// Kinds of refused files, each reported with its own text.
enum class RefusedKind { Settings, LanguageLibrary };

struct RefusedFile {
    RefusedKind kind;
    std::string path;
    std::string why;
};

// Keeps a refused file for the program to report; a path already kept is not
// kept again, so a file read several times gets one warning.
void NoteRefusedFile(RefusedKind kind, const std::string& path, const std::string& why);
// The files kept since the last call, in the order they were refused.
std::vector<RefusedFile> TakeRefusedFiles();
