#include "streams/CompressedFile.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

const char g_szMagic[3][MAGIC_LENGTH + 1] = {"**++HUFF", "**++LZSS", "**++LZW "};
ProgressCallback g_pfnProgress = nullptr;

void ReportToProcessCallback(void* /*context*/, UINT count)
{
    if (g_pfnProgress)
        g_pfnProgress(count);
}

namespace {

void PutLe32(std::uint8_t* out, UINT v)
{
    out[0] = static_cast<std::uint8_t>(v);
    out[1] = static_cast<std::uint8_t>(v >> 8);
    out[2] = static_cast<std::uint8_t>(v >> 16);
    out[3] = static_cast<std::uint8_t>(v >> 24);
}

UINT GetLe32(const std::uint8_t* in)
{
    return UINT {in[0]} | UINT {in[1]} << 8 | UINT {in[2]} << 16 | UINT {in[3]} << 24;
}

}   // namespace

int MethodOfMagic(const std::uint8_t* bytes, UINT got)
{
    if (got < MAGIC_LENGTH)
        return -1;
    for (int method = 0; method < 3; ++method)
        if (std::memcmp(bytes, g_szMagic[method], MAGIC_LENGTH) == 0)
            return method;
    return -1;
}

int DetectMethod(CFile& file)
{
    std::uint8_t magic[MAGIC_LENGTH];
    file.Seek(0, CFile::begin);
    return MethodOfMagic(magic, file.Read(magic, MAGIC_LENGTH));
}

int DetectMethod(const char* fileName)
{
    CFile file;
    if (!fileName || !file.Open(fileName, OPEN_READ))
        return -1;
    return DetectMethod(file);   // a failed read throws: it is no file without a magic
}

CCompressedFile::CCompressedFile(int method) : m_nMethod(method) {}

CCompressedFile::~CCompressedFile()
{
    // A stream deleted while open is closed by the base alone: buffered bytes reach
    // the file, no end code is written and the header keeps its zero sizes.
    try {
        CloseBase(FALSE);
    } catch (const CFileException&) {
        // Nothing can be reported from a destructor; the descriptor is released below.
    }
    delete[] m_pBuffer;
    m_pBuffer = nullptr;
}

BOOL CCompressedFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    return OpenShared(fileName, openFlags, error);
}

BOOL CCompressedFile::OpenFile(CFile& file, UINT openFlags, CFileException* error)
{
    // The class's own Open prepares its coder and reaches OpenShared, which takes
    // this file instead of opening one by name.
    m_pGivenFile = &file;
    const std::string name = file.GetFilePath();
    BOOL opened = FALSE;
    try {
        opened = Open(name.c_str(), openFlags, error);
    } catch (...) {
        m_pGivenFile = nullptr;
        throw;
    }
    m_pGivenFile = nullptr;
    return opened;
}

UINT CCompressedFile::Read(void*, UINT)
{
    return 0;
}

void CCompressedFile::WriteData(const void*, UINT) {}

void CCompressedFile::Close()
{
    CloseBase(FALSE);
}

BOOL CCompressedFile::OpenShared(const char* fileName, UINT openFlags, CFileException* error)
{
    CFile* given = m_pGivenFile;
    m_pGivenFile = nullptr;
    if (openFlags != OPEN_READ && openFlags != OPEN_APPEND && openFlags != OPEN_CREATE)
        return FALSE;
    // The transfer buffer is made by the first Open and kept until the stream is deleted.
    if (!m_pBuffer)
        m_pBuffer = new (std::nothrow) std::uint8_t[COMPRESSED_BUFFER_SIZE];
    if (!m_pBuffer)
        return FALSE;
    if (openFlags == OPEN_APPEND && !given)
        m_nMethod = DetectMethod(fileName);   // the write-only descriptor cannot read it
    m_szFileName = fileName ? fileName : "";
    m_nCompressedSize = m_nOriginalSize = m_nFilePos = m_nFileLength = 0;
    m_nBufIndex = m_nBufCount = 0;
    m_nHeaderPos = 8;
    m_nOpenFlags = openFlags;
    m_bDamaged = m_bAtEnd = false;
    m_nEndCodeEnd = 0;
    ResetBits();

    if (given) {
        m_pFile = given;
    } else {
        m_pFile = &m_fileOwn;
        if (!m_fileOwn.Open(m_szFileName.c_str(), openFlags, error))
            return FALSE;
    }
    CFile& file = *m_pFile;
    if (given && openFlags == OPEN_CREATE)
        file.SetLength(0);
    std::uint64_t length = file.GetLength();
    if (openFlags == OPEN_READ && length > std::numeric_limits<UINT>::max()) {
        // The format's sizes are 32-bit: a longer file would be read cut short.
        if (error)
            error->Set(CFileException::invalidFile, EFBIG, m_szFileName, "file too large for the format");
        if (!given)
            m_fileOwn.Abort();
        return FALSE;
    }
    m_nFileLength = static_cast<UINT>(length);

    std::uint8_t header[COMPRESSED_HEADER_SIZE] = {};
    if (openFlags == OPEN_READ) {
        // The magic and the sizes come in one read through the same file; a read
        // error is an error, never a file without a magic.
        if (given)
            file.Seek(0, CFile::begin);
        const UINT got = file.Read(header, COMPRESSED_HEADER_SIZE);
        m_nMethod = MethodOfMagic(header, got);
        if (m_nMethod == METHOD_NONE) {
            m_nOriginalSize = m_nCompressedSize = m_nFileLength;
            if (got > 0)
                file.Seek(0, CFile::begin);   // a stored file's data starts at its first byte
        } else {
            // A header cut short leaves the missing size bytes at zero.
            m_nOriginalSize = GetLe32(header + 8);
            m_nCompressedSize = GetLe32(header + 12);
        }
    } else if (openFlags == OPEN_CREATE) {
        if (given)
            file.Seek(0, CFile::begin);
        if (m_nMethod >= 0 && m_nMethod <= 2) {
            std::memcpy(header, g_szMagic[m_nMethod], MAGIC_LENGTH);
            file.Write(header, COMPRESSED_HEADER_SIZE);
        }
    } else {   // append: size fields at the end, rewritten by UpdateHeader
        if (given)
            m_nMethod = DetectMethod(file);
        m_nFilePos = m_nHeaderPos = static_cast<UINT>(file.Seek(0, CFile::end));
        file.Write(header, 8);
        m_nFilePos += 8;
    }
    m_bOpen = TRUE;
    m_bReading = openFlags == OPEN_READ;
    m_bWriting = !m_bReading;
    return TRUE;
}

void CCompressedFile::CloseBase(BOOL updateHeader)
{
    if (!m_bOpen)
        return;
    m_bOpen = m_bReading = m_bWriting = FALSE;
    const bool writing = m_nOpenFlags == OPEN_CREATE || m_nOpenFlags == OPEN_APPEND;
    const bool own = m_pFile == &m_fileOwn;
    UINT pending = m_nBufCount;
    m_nBufCount = m_nBufIndex = 0;
    try {
        if (pending > 0 && writing)
            m_pFile->Write(m_pBuffer, pending);
        if (updateHeader && writing)
            UpdateHeader();
        m_pFile->Flush();
    } catch (...) {
        if (own)
            m_fileOwn.Abort();
        throw;
    }
    if (own)
        m_fileOwn.Close();
}

UINT CCompressedFile::FillBuffer()
{
    m_nBufIndex = m_nBufCount = 0;
    if (m_bAtEnd)
        return 0;
    UINT want = COMPRESSED_BUFFER_SIZE;
    if (m_nFileLength - m_nFilePos < want)
        want = m_nFileLength - m_nFilePos;
    UINT got = want ? m_pFile->Read(m_pBuffer, want) : 0;
    // The file layer reads until the count or the end of the file, so a short
    // read is the end: later refills need not ask the file again.
    if (got < want || got == 0)
        m_bAtEnd = true;
    m_nFilePos += got;
    m_nBufCount = got;
    return got;
}

UINT CCompressedFile::ReadBuffered(void* buffer, UINT count)
{
    if (!m_bOpen || !m_bReading)
        return 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    UINT done = 0;
    while (done < count) {
        if (m_nBufCount == 0 && count - done >= COMPRESSED_BUFFER_SIZE) {
            // A buffer's worth or more wanted and none waiting: straight from the
            // file, one call, no copy.
            if (!ReadDirect(out + done, count - done, done))
                break;
            continue;
        }
        if (m_nBufCount == 0 && FillBuffer() == 0)
            break;
        UINT take = count - done < m_nBufCount ? count - done : m_nBufCount;
        std::memcpy(out + done, m_pBuffer + m_nBufIndex, take);
        m_nBufIndex += take;
        m_nBufCount -= take;
        done += take;
    }
    return done;
}

// Reads up to want bytes (no more than the file has left) into out, adding them to
// done; false when none came.
bool CCompressedFile::ReadDirect(std::uint8_t* out, UINT want, UINT& done)
{
    if (m_bAtEnd)
        return false;
    if (m_nFileLength - m_nFilePos < want)
        want = m_nFileLength - m_nFilePos;
    const UINT got = want ? m_pFile->Read(out, want) : 0;
    if (got < want || got == 0)
        m_bAtEnd = true;   // as in FillBuffer: a short read is the end
    m_nFilePos += got;
    done += got;
    return got > 0;
}

int CCompressedFile::ReadByte()
{
    if (!m_bOpen || !m_bReading)
        return -1;
    if (m_nBufCount == 0 && FillBuffer() == 0)
        return -1;
    --m_nBufCount;
    return m_pBuffer[m_nBufIndex++];
}

void CCompressedFile::WriteBuffered(const void* data, UINT count, BOOL progress)
{
    if (!m_bOpen || !m_bWriting)
        return;
    if (m_nMethod == METHOD_NONE) {
        if (count > std::numeric_limits<UINT>::max() - m_nOriginalSize)
            throw CFileException(CFileException::invalidFile, EFBIG, m_szFileName,
                                 "data too large for the format (4 GiB) while writing");
        m_nCompressedSize += count;
        m_nOriginalSize += count;
    }
    const auto* in = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        if (m_nBufCount == COMPRESSED_BUFFER_SIZE)
            FlushBuffer(progress);
        UINT direct = 0;
        if (m_nBufCount == 0 && count >= COMPRESSED_BUFFER_SIZE && (direct = WriteDirect(in, count, progress)) > 0) {
            in += direct;
            count -= direct;
            continue;
        }
        UINT take = COMPRESSED_BUFFER_SIZE - m_nBufCount;
        if (take > count)
            take = count;
        std::memcpy(m_pBuffer + m_nBufIndex, in, take);
        m_nBufIndex += take;
        m_nBufCount += take;
        in += take;
        count -= take;
    }
}

// Writes the whole buffers' worth at the start of in (count is at least one) to the
// file in one call, without copying them into the buffer; the size check and the
// progress calls are those of as many flushes.  Returns the bytes written: none
// when the format has no room for a buffer more (they are copied in, and the
// flush throws, as before).
UINT CCompressedFile::WriteDirect(const std::uint8_t* in, UINT count, BOOL progress)
{
    UINT blocks = count / COMPRESSED_BUFFER_SIZE;
    const UINT room = (std::numeric_limits<UINT>::max() - m_nFilePos) / COMPRESSED_BUFFER_SIZE;
    if (blocks > room)
        blocks = room;
    if (blocks == 0)
        return 0;
    m_pFile->Write(in, blocks * COMPRESSED_BUFFER_SIZE);
    for (UINT b = 0; b < blocks; ++b) {
        m_nFilePos += COMPRESSED_BUFFER_SIZE;
        if (progress && m_nFilePos % 1000 == 0)
            ReportProgress(m_nFilePos);
    }
    return blocks * COMPRESSED_BUFFER_SIZE;
}

void CCompressedFile::FlushBuffer(BOOL progress)
{
    if (m_nFilePos > std::numeric_limits<UINT>::max() - COMPRESSED_BUFFER_SIZE)
        throw CFileException(CFileException::invalidFile, EFBIG, m_szFileName,
                             "compressed data too large for the format (4 GiB) while writing");
    m_pFile->Write(m_pBuffer, COMPRESSED_BUFFER_SIZE);
    m_nFilePos += COMPRESSED_BUFFER_SIZE;
    if (progress && m_nFilePos % 1000 == 0)
        ReportProgress(m_nFilePos);
    m_nBufCount = m_nBufIndex = 0;
}

// The reader's safe refill: the fast path while the transfer buffer holds eight bytes,
// else byte by byte, filling the buffer from the file and 1 bits past its end.
void CCompressedFile::RefillBits()
{
    if (m_nBufCount >= 8) {
        const UINT take = m_In.RefillFast(m_pBuffer + m_nBufIndex);
        m_nBufIndex += take;
        m_nBufCount -= take;
        return;
    }
    while (m_In.nBits <= 56)
        m_In.PushByte(ReadByte());
}

std::uint64_t CCompressedFile::BitsTaken() const
{
    // Bytes that left the transfer buffer, less the real bits still in the window.
    return 8 * std::uint64_t(m_nFilePos - m_nBufCount) - static_cast<std::uint64_t>(m_In.RealBits());
}

int CCompressedFile::BitsLeft()
{
    if (m_In.nBits <= 56)
        RefillBits();   // fills the window as far as the file allows
    return m_In.RealBits();
}

bool CCompressedFile::TakeEndCode(UINT code, int bits)
{
    if (bits < 32)
        code &= (1u << bits) - 1;
    const std::uint64_t start = BitsTaken();
    // Bits past the file, or past the payload the header gives (bytes after the coded
    // data are no part of the code), are not compared.
    const int left = BitsLeft();
    int real = left < bits ? left : bits;
    const std::uint64_t payloadEnd = 8 * std::uint64_t {m_nCompressedSize};
    if (start + static_cast<std::uint64_t>(real) > payloadEnd)
        real = payloadEnd > start ? static_cast<int>(payloadEnd - start) : 0;
    const UINT seen = PeekBits(bits);
    const bool same = real == 0 || ((seen ^ code) >> (bits - real)) == 0;
    m_In.SkipUnstored(bits);
    m_nEndCodeEnd = start + static_cast<std::uint64_t>(bits);
    return same;
}

void CCompressedFile::ResetBits()
{
    m_nBitAcc = 0;
    m_nBitCount = 0;
    m_In = CBitReader {};
}

void CCompressedFile::UpdateHeader()
{
    std::uint8_t sizes[8];
    PutLe32(sizes, m_nOriginalSize);
    PutLe32(sizes + 4, m_nCompressedSize);
    m_pFile->Seek(m_nHeaderPos, CFile::begin);
    m_pFile->Write(sizes, sizeof sizes);
    if (m_pFile != &m_fileOwn)
        m_pFile->Seek(0, CFile::end);   // the caller's file is left at its end
}
