#include "jobs/FolderLock.h"

#include <cerrno>
#include <cstdlib>
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
    while (::nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

} // namespace

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

CFolderLock::Result CFolderLock::Acquire(const std::string& folder, int waitSeconds,
                                         const std::function<void()>& onWait, int& error)
{
    Release();
    error = 0;
    do {
        m_hFolder = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (m_hFolder < 0 && errno == EINTR);
    if (m_hFolder < 0) {
        error = errno;
        return Result::NoFolder;
    }
    // Polled rather than blocking, so that the wait stays bounded; a count of
    // pauses needs no clock that could jump.
    const long tries = 1 + static_cast<long>(waitSeconds) * 1000 / POLL_MILLISECONDS;
    for (long attempt = 0; attempt < tries; ++attempt) {
        if (::flock(m_hFolder, LOCK_EX | LOCK_NB) == 0) {
            m_bHeld = true;
            return Result::Locked;
        }
        if (errno == EINTR) {
            --attempt;
            continue;
        }
        if (errno != EWOULDBLOCK) {
            error = errno;
            return Result::Unsupported;   // keep the folder open: Release closes it
        }
        if (attempt == 0 && tries > 1 && onWait)
            onWait();
        if (attempt + 1 < tries)
            Pause();
    }
    Release();
    return Result::Busy;
}

void CFolderLock::Release()
{
    if (m_hFolder >= 0)
        ::close(m_hFolder);   // closing the last descriptor drops the lock
    m_hFolder = -1;
    m_bHeld = false;
}
