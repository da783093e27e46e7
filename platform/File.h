// CFile: an unbuffered file over POSIX descriptors (on Windows over Win32 handles,
// platform/win32/File.cpp), with the small interface the streams need (open with an
// error record, read, write, seek, length, close).
//
// Open flags:   0       read
//               1       write into an existing file (no create)
//               0x1001  create or truncate, then write
// Open reports failure through its BOOL result and the optional error record and
// never throws.  After a successful open, a failed read, write, seek, sync or close
// throws CFileException with the cause, errno and the file's name.
//
// Read, Write, Seek, GetLength, SetLength, Flush and Close are the interface the
// streams work through; CMemFile (platform/MemFile.h) implements it in memory.
#pragma once

#include "platform/Types.h"

#include <cstdint>
#include <stdexcept>
#include <string>

class CFileException : public std::runtime_error {
public:
    enum Cause { none = 0, generic, fileNotFound, accessDenied, badSeek, hardIO, diskFull, endOfFile, invalidFile };

    CFileException() : std::runtime_error("file error") {}
    CFileException(Cause cause, int err, std::string fileName, const char* what);

    Cause m_cause = none;
    int m_lOsError = 0;   // errno of the failed call (on Windows the errno its error matches)
    std::string m_strFileName;
    // The system's own text of the failure, where it says more than errno's (Windows:
    // its message and error number); Describe shows it instead of strerror's.
    std::string m_strOsText;

    // "write failed on <file>: No space left on device" style text for the user.
    std::string Describe() const;
    void Set(Cause cause, int err, std::string fileName, const char* what);

private:
    std::string m_strWhat;
};

#ifdef _WIN32
using NativeFileHandle = std::intptr_t;   // a Win32 HANDLE; -1 (INVALID_HANDLE_VALUE) when closed
#else
using NativeFileHandle = int;   // a descriptor; -1 when closed
#endif

class CFile {
public:
    using NativeHandle = NativeFileHandle;
    enum OpenFlags : UINT { modeRead = 0x0000, modeWrite = 0x0001, modeCreate = 0x1000 };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    virtual BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    virtual std::uint64_t Seek(std::int64_t offset, UINT from);
    virtual std::uint64_t GetLength() const;
    // Cuts the file to `length` bytes (or extends it with zero bytes).
    virtual void SetLength(std::uint64_t length);
    // Hands buffered data to the file; a disk file buffers nothing (see Sync).
    virtual void Flush() {}
    virtual void Close();

    // Forces written data to the storage device (fsync, FlushFileBuffers).
    void Sync();
    // Abandons the descriptor without reporting close errors (cleanup paths).
    void Abort();

    virtual bool IsOpen() const { return m_hFile != -1; }
    NativeHandle Handle() const { return m_hFile; }
    const std::string& GetFilePath() const { return m_strFileName; }

protected:
    [[noreturn]] void Throw(CFileException::Cause cause, int err, const char* what) const;

    NativeHandle m_hFile = -1;
    std::string m_strFileName;

private:
    // Starts the write-back of what Write has handed over once WRITE_BACK_STEP
    // bytes are waiting, so that the final Sync has little left to wait for.
    void StartWriteBack(UINT written);
    static constexpr std::uint64_t WRITE_BACK_STEP = std::uint64_t {8} << 20;
    std::uint64_t m_nNotWrittenBack = 0;
};
