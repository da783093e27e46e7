// Start-up files on Win32: only a plain file on a disk is read, never through
// a link or junction, and never a device or pipe a name leads to.
#include "platform/StartupFile.h"

#include "platform/win32/HostApi.h"

#include <utility>

namespace {

// Missing, or Refused with why, unless the path is a plain file.
StartupFileResult CheckPlainFile(const std::string& path, std::uint64_t& size, std::string& why)
{
    switch (hostapi::KindOf(path, size, why)) {
    case hostapi::PathKind::Missing:
        return StartupFileResult::Missing;
    case hostapi::PathKind::File:
        return StartupFileResult::Ok;
    case hostapi::PathKind::Folder:
        why = "not a regular file (a folder)";
        break;
    case hostapi::PathKind::Device:
        why = "not a regular file (a device)";
        break;
    case hostapi::PathKind::Link:
        why = "not a regular file (a link)";
        break;
    case hostapi::PathKind::Error:
        break;
    }
    return StartupFileResult::Refused;
}

}   // namespace

StartupFileResult OpenRegularFile(const std::string& path, int& fd, std::uint64_t& size, std::string& why)
{
    fd = -1;
    const StartupFileResult checked = CheckPlainFile(path, size, why);
    if (checked != StartupFileResult::Ok)
        return checked;
    // A descriptor on Windows is its handle's value (platform/win32/).
    const std::intptr_t opened = hostapi::OpenPlainFile(path, why);
    if (opened == -1)
        return StartupFileResult::Refused;
    fd = static_cast<int>(opened);
    return StartupFileResult::Ok;
}

StartupFileResult ReadRegularFile(const std::string& path, std::size_t limit, std::string& text, std::string& why)
{
    text.clear();
    std::uint64_t size = 0;
    const StartupFileResult checked = CheckPlainFile(path, size, why);
    if (checked != StartupFileResult::Ok)
        return checked;
    const std::string tooLarge = "larger than " + std::to_string(limit) + " bytes";
    if (size > limit) {
        why = tooLarge;
        return StartupFileResult::Refused;
    }
    std::string bytes;
    if (!hostapi::ReadFileBytes(path, limit, bytes, why))
        return StartupFileResult::Refused;
    if (bytes.size() > limit) {
        why = tooLarge;
        return StartupFileResult::Refused;
    }
    text = std::move(bytes);
    return StartupFileResult::Ok;
}
