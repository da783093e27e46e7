#include "platform/MemFile.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

CMemFile::CMemFile(std::string name)
{
    m_strFileName = std::move(name);
}

CMemFile::CMemFile(const void* data, std::size_t size, std::string name) : CMemFile(std::move(name))
{
    Assign(data, size);
}

BOOL CMemFile::Open(const char*, UINT, CFileException* error)
{
    if (error)
        error->Set(CFileException::generic, EINVAL, m_strFileName, "a memory file cannot be opened by name");
    return FALSE;
}

void CMemFile::Assign(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_data.assign(bytes, bytes + size);
    m_nPosition = 0;
    m_bOpen = true;
}

UINT CMemFile::Read(void* buffer, UINT count)
{
    RequireOpen("read failed");
    if (m_nPosition >= m_data.size())
        return 0;
    const std::uint64_t left = m_data.size() - m_nPosition;
    const UINT take = left < count ? static_cast<UINT>(left) : count;
    std::memcpy(buffer, m_data.data() + m_nPosition, take);
    m_nPosition += take;
    return take;
}

void CMemFile::Write(const void* buffer, UINT count)
{
    RequireOpen("write failed");
    if (count == 0)
        return;
    const std::uint64_t end = m_nPosition + count;
    if (end > m_data.size())
        m_data.resize(end);   // zero bytes fill a gap left by a seek past the end
    std::memcpy(m_data.data() + m_nPosition, buffer, count);
    m_nPosition = end;
}

std::uint64_t CMemFile::Seek(std::int64_t offset, UINT from)
{
    RequireOpen("seek failed");
    const std::int64_t base = from == end       ? static_cast<std::int64_t>(m_data.size())
                              : from == current ? static_cast<std::int64_t>(m_nPosition)
                                                : 0;
    if (offset < 0 ? base + offset < 0 : offset > std::numeric_limits<std::int64_t>::max() - base)
        Throw(CFileException::badSeek, EINVAL, "seek failed");
    m_nPosition = static_cast<std::uint64_t>(base + offset);
    return m_nPosition;
}

std::uint64_t CMemFile::GetLength() const
{
    RequireOpen("stat failed");
    return m_data.size();
}

void CMemFile::SetLength(std::uint64_t length)
{
    RequireOpen("truncate failed");
    m_data.resize(length);
}

void CMemFile::Close()
{
    m_bOpen = false;
}

void CMemFile::RequireOpen(const char* what) const
{
    if (!m_bOpen)
        Throw(CFileException::generic, EBADF, what);
}
