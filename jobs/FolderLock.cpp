#include "jobs/FolderLock.h"

#include "jobs/JobError.h"
#include "platform/StringIds.h"
#include "platform/SysCall.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int DEFAULT_WAIT_SECONDS = 30;
constexpr long POLL_MILLISECONDS = 100;

void Pause()
{
    timespec delay {0, POLL_MILLISECONDS * 1000 * 1000};
    RetryEintr([&] { return ::nanosleep(&delay, &delay); });   // the time left after an interruption
}

}   // namespace

CFolderLock::~CFolderLock()
{
    Release();
}

int CFolderLock::DefaultWait()
{
    const char* text = std::getenv("TAMBLE_LOCK_WAIT");
    if (!text || !*text)
        return DEFAULT_WAIT_SECONDS;
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (*end != '\0' || seconds < 0)
        return DEFAULT_WAIT_SECONDS;
    return seconds > 86400 ? 86400 : static_cast<int>(seconds);
}

bool CFolderLock::Acquire(const std::string& folder, const std::string& shown, int waitSeconds,
                          const std::function<void()>& onWait, JobFault& fault)
{
    Release();
    m_hFolder
        = RetryEintr([&] { return ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (m_hFolder < 0) {
        fault = {IDS_ERR_READ_FOLDER, shown, std::strerror(errno)};
        return false;
    }
    // Polled rather than blocking, so that the wait stays bounded; a count of
    // pauses needs no clock that could jump.
    const long tries = 1 + static_cast<long>(waitSeconds) * 1000 / POLL_MILLISECONDS;
    for (long attempt = 0; attempt < tries; ++attempt) {
        if (RetryEintr([&] { return ::flock(m_hFolder, LOCK_EX | LOCK_NB); }) == 0) {
            m_bHeld = true;
            return true;
        }
        if (errno != EWOULDBLOCK)
            return true;   // cannot be locked: not held; the folder stays open until Release
        if (attempt == 0 && tries > 1 && onWait)
            onWait();
        if (attempt + 1 < tries)
            Pause();
    }
    Release();
    fault = {IDS_ERR_FOLDER_IN_USE, shown, FormatText(IDS_CAUSE_WAITED, {std::to_string(waitSeconds)})};
    return false;
}

void CFolderLock::Release()
{
    if (m_hFolder >= 0)
        ::close(m_hFolder);   // closing the last descriptor drops the lock
    m_hFolder = -1;
    m_bHeld = false;
}
