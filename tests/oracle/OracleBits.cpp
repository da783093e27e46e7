// Reference version of the shared stream layer over an in-memory file.
// Writing: the header (magic, original size, compressed size, little-endian) goes straight to the
// file; payload bytes pass through a 32000-byte buffer that is flushed when the 32001st byte
// arrives, each flush reporting the bytes flushed so far. Bits are packed most significant first;
// Close stores the filled part of the buffer but not a partly filled bit byte.
// Reading: bytes come through the same buffer; past the end ReadByte gives -1, so bits read 1,
// and the reader notes that it took such a bit: the decoders stop at that code.
#include "tests/oracle/OracleStream.h"

#include <algorithm>
#include <cstring>

namespace oracle {

namespace {
const char* const kMagic[3] = {"**++HUFF", "**++LZSS", "**++LZW "};

void PutLittleEndian(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
}   // namespace

int DetectMethod(const std::vector<std::uint8_t>& file)
{
    if (file.size() < 8)
        return -1;
    for (int m = 0; m < 3; ++m)
        if (std::memcmp(file.data(), kMagic[m], 8) == 0)
            return m;
    return -1;
}

// ---- writer --------------------------------------------------------------------------------

StreamWriter::StreamWriter(int method) : m_nMethod(method), m_Buffer(kBufferSize)
{
    if (m_nMethod >= 0) {
        m_Out.file.assign(kMagic[m_nMethod], kMagic[m_nMethod] + 8);
        m_Out.file.resize(kHeaderSize, 0);   // both size fields 0 until the header update
    }
}

void StreamWriter::WriteBuffered(const std::uint8_t* data, std::uint32_t count, bool progress)
{
    if (m_nMethod == -1) {
        m_nCompressedSize += count;
        m_nOriginalSize += count;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        if (m_nBufCount >= kBufferSize) {
            m_Out.file.insert(m_Out.file.end(), m_Buffer.begin(), m_Buffer.begin() + kBufferSize);
            m_nFilePos += kBufferSize;
            if (progress && m_nFilePos % 1000 == 0)
                m_Out.progress.push_back(m_nFilePos);
            m_nBufCount = 0;
            m_nBufIndex = 0;
        }
        m_Buffer[m_nBufIndex] = data[i];
        ++m_nBufIndex;
        ++m_nBufCount;
    }
}

void StreamWriter::WriteByte(int c)
{
    const std::uint8_t b = static_cast<std::uint8_t>(c);
    WriteBuffered(&b, 1, true);
    ++m_nCompressedSize;
}

void StreamWriter::OutputBit(int bit)
{
    if (bit != 0)
        m_nRack |= m_nMask;
    m_nMask >>= 1;
    if (m_nMask == 0) {
        WriteByte(m_nRack);
        m_nRack = 0;
        m_nMask = 0x80;
    }
}

void StreamWriter::OutputBits(std::uint32_t code, int bits, int progressPos, bool progress)
{
    if (progress && progressPos % 1000 == 0)
        m_Out.progress.push_back(static_cast<std::uint32_t>(progressPos));
    for (int b = bits - 1; b >= 0; --b)
        OutputBit(static_cast<int>((code >> b) & 1u));
}

Encoded StreamWriter::Close()
{
    if (m_nBufCount > 0)
        m_Out.file.insert(m_Out.file.end(), m_Buffer.begin(), m_Buffer.begin() + m_nBufCount);
    m_nBufCount = 0;
    if (m_nMethod >= 0) {   // UpdateHeader
        PutLittleEndian(m_Out.file, 8, m_nOriginalSize);
        PutLittleEndian(m_Out.file, 12, m_nCompressedSize);
    }
    return m_Out;
}

// ---- reader --------------------------------------------------------------------------------

StreamReader::StreamReader(std::vector<std::uint8_t> file)
    : m_nMethod(DetectMethod(file)), m_File(std::move(file)), m_Buffer(kBufferSize)
{
    m_nFileLength = static_cast<std::uint32_t>(m_File.size());
    if (m_nMethod == -1) {
        m_nOriginalSize = m_nCompressedSize = m_nFileLength;
        return;
    }
    // Seek to 8 and read the two size fields; what the file lacks leaves a field's bytes at 0.
    m_nFileCursor = 8;
    std::uint8_t raw[4];
    for (std::uint32_t* field : {&m_nOriginalSize, &m_nCompressedSize}) {
        std::memset(raw, 0, sizeof raw);
        FileRead(raw, 4);
        *field = raw[0] | raw[1] << 8 | raw[2] << 16 | static_cast<std::uint32_t>(raw[3]) << 24;
    }
}

std::uint32_t StreamReader::FileRead(std::uint8_t* out, std::uint32_t count)
{
    const std::size_t left = m_File.size() - std::min(m_nFileCursor, m_File.size());
    const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(count, left));
    std::copy_n(m_File.begin() + static_cast<std::ptrdiff_t>(m_nFileCursor), n, out);
    m_nFileCursor += n;
    return n;
}

std::uint32_t StreamReader::ReadBuffered(std::uint8_t* out, std::uint32_t count)
{
    std::uint32_t handed = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (m_nBufCount == 0) {
            const std::uint32_t ask = std::min(kBufferSize, m_nFileLength - m_nFilePos);
            const std::uint32_t got = FileRead(m_Buffer.data(), ask);
            m_nFilePos += got;
            m_nBufIndex = 0;
            m_nBufCount = got;
            if (got == 0)
                break;
        }
        out[i] = m_Buffer[m_nBufIndex];
        ++m_nBufIndex;
        --m_nBufCount;
        ++handed;
    }
    return handed;
}

int StreamReader::ReadByte()
{
    std::uint8_t b = 0;
    return ReadBuffered(&b, 1) == 1 ? b : -1;
}

int StreamReader::InputBit()
{
    if (m_nMask == 0x80)
        m_nRack = ReadByte();
    m_bPastEnd = m_bPastEnd || m_nRack < 0;
    const int bit = (m_nRack & m_nMask) != 0 ? 1 : 0;
    m_nMask >>= 1;
    if (m_nMask == 0)
        m_nMask = 0x80;
    return bit;
}

std::uint32_t StreamReader::InputBits(int bits)
{
    std::uint32_t result = 0;
    for (int b = bits - 1; b >= 0; --b)
        if (InputBit() != 0)
            result |= 1u << b;
    return result;
}

}   // namespace oracle
