// CMemFile: a file held in memory, with the interface of CFile, so that a stream
// works on it as on a disk file (the fuzzers and the codec tests use it).
//
// It is open from construction until Close and reads and writes at one position
// like a file: reads stop at the end, writes grow it, and a write after a seek past
// the end fills the gap with zero bytes.  Close keeps the bytes for Data(); Assign
// gives it new content and opens it again.  Open by name is refused: a memory file
// has no name in the file system, only the one its errors carry.
#pragma once

#include "platform/File.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CMemFile : public CFile {
public:
    explicit CMemFile(std::string name = "(memory)");
    CMemFile(const void* data, std::size_t size, std::string name = "(memory)");

    BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr) override;
    UINT Read(void* buffer, UINT count) override;
    void Write(const void* buffer, UINT count) override;
    std::uint64_t Seek(std::int64_t offset, UINT from) override;
    std::uint64_t GetLength() const override;
    void SetLength(std::uint64_t length) override;
    void Close() override;
    bool IsOpen() const override { return m_bOpen; }

    // Replaces the content, rewinds and opens the file again.
    void Assign(const void* data, std::size_t size);
    const std::vector<std::uint8_t>& Data() const { return m_data; }

private:
    void RequireOpen(const char* what) const;

    std::vector<std::uint8_t> m_data;
    std::uint64_t m_nPosition = 0;
    bool m_bOpen = true;
};
