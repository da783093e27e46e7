#include "platform/File.h"

#include "platform/SysCall.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CFileException::Cause CauseOf(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return CFileException::fileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return CFileException::accessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return CFileException::diskFull;
    case EIO:
        return CFileException::hardIO;
    case EINVAL:
    case ESPIPE:
        return CFileException::badSeek;
    default:
        return CFileException::generic;
    }
}

}   // namespace

CFile::~CFile()
{
    if (m_hFile >= 0)
        ::close(m_hFile);   // errors here cannot be reported from a destructor
}

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    if (m_hFile >= 0)
        Abort();
    m_strFileName = fileName ? fileName : "";
    int flags = O_CLOEXEC;
    switch (openFlags) {
    case modeRead:
        flags |= O_RDONLY;
        break;
    case modeWrite:
        flags |= O_WRONLY;
        break;
    case modeCreate | modeWrite:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    default:
        if (error)
            error->Set(CFileException::generic, EINVAL, m_strFileName, "unsupported open mode");
        return FALSE;
    }
    if (m_strFileName.empty()) {
        if (error)
            error->Set(CFileException::fileNotFound, ENOENT, m_strFileName, "open failed");
        return FALSE;
    }
    const int fd = RetryEintr([&] { return ::open(m_strFileName.c_str(), flags, 0666); });
    if (fd < 0) {
        if (error)
            error->Set(CauseOf(errno), errno, m_strFileName, "open failed");
        return FALSE;
    }
    m_hFile = fd;
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count)
{
    auto* out = static_cast<unsigned char*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t n = RetryEintr([&] { return ::read(m_hFile, out + done, count - done); });
        if (n < 0)
            Throw(CauseOf(errno), errno, "read failed");
        if (n == 0)
            break;   // end of file
        done += static_cast<UINT>(n);
    }
    return done;
}

void CFile::Write(const void* buffer, UINT count)
{
    if (!WriteAll(m_hFile, buffer, count))
        Throw(CauseOf(errno), errno, "write failed");
    StartWriteBack(count);
}

void CFile::StartWriteBack(UINT written)
{
    m_nNotWrittenBack += written;
    if (m_nNotWrittenBack < WRITE_BACK_STEP)
        return;
    m_nNotWrittenBack = 0;
    // Only starts it: pages already on their way are not waited for.  Where the
    // call is not offered (not a disk file) nothing is lost but the head start.
    ::sync_file_range(m_hFile, 0, 0, SYNC_FILE_RANGE_WRITE);
}

std::uint64_t CFile::Seek(std::int64_t offset, UINT from)
{
    int whence = from == end ? SEEK_END : from == current ? SEEK_CUR : SEEK_SET;
    off_t pos = ::lseek(m_hFile, static_cast<off_t>(offset), whence);
    if (pos < 0)
        Throw(CauseOf(errno), errno, "seek failed");
    return static_cast<std::uint64_t>(pos);
}

std::uint64_t CFile::GetLength() const
{
    struct stat st {};
    if (::fstat(m_hFile, &st) != 0)
        Throw(CauseOf(errno), errno, "stat failed");
    return static_cast<std::uint64_t>(st.st_size);
}

void CFile::SetLength(std::uint64_t length)
{
    if (RetryEintr([&] { return ::ftruncate(m_hFile, static_cast<off_t>(length)); }) != 0)
        Throw(CauseOf(errno), errno, "truncate failed");
}

void CFile::Sync()
{
    if (::fsync(m_hFile) != 0)
        Throw(CauseOf(errno), errno, "sync failed");
}

void CFile::Close()
{
    if (m_hFile < 0)
        return;
    int fd = m_hFile;
    m_hFile = -1;
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (::close(fd) != 0 && errno != EINTR)
        Throw(CauseOf(errno), errno, "close failed");
}

void CFile::Abort()
{
    if (m_hFile >= 0)
        ::close(m_hFile);
    m_hFile = -1;
}

void CFile::Throw(CFileException::Cause cause, int err, const char* what) const
{
    throw CFileException(cause, err, m_strFileName, what);
}
