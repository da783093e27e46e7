// CCompressedFile: the common base of the four stream classes.
//
// File layout of a coded stream (Huffman, LZSS, LZW); numbers little-endian:
//   offset 0   8 bytes  magic: "**++HUFF", "**++LZSS" or "**++LZW " (trailing blank)
//   offset 8   4 bytes  original size: bytes given to WriteData over the stream's life
//   offset 12  4 bytes  compressed size: payload bytes completed by the bit writer
//   offset 16  ...      payload, packed most significant bit first
// A stored stream has no header: the file is the data.  A file whose first eight
// bytes match no magic, or that is shorter than eight bytes, is a stored file.
//
// A stream works through a file object (CFile's interface): Open by name opens a
// disk file of its own, OpenFile takes a file the caller keeps (a CMemFile, or a
// CFile opened elsewhere).  Every byte, the header's sizes included, goes through
// that one object.
//
// Everything that is not coding lives here: the 32000-byte transfer buffer through
// which all payload bytes pass, the bit writer and bit reader, the header and the
// progress reports.  The transfer buffer's flush rule and progress
// reports are part of the contract: a full buffer is written only when the next
// byte arrives (or at Close), and every flush of a created stream reports the bytes
// flushed so far.  The last, incomplete payload byte is never stored.
//
// The bit writer and reader (streams/BitIo.h) keep their state here; their safe paths
// are the members below, their fast paths run on a copy in a hot loop's locals.  The
// writer emits whole bytes as soon as they complete.  The reader refills a 64-bit
// window from the transfer buffer.  Past the end of the file it supplies 1 bits and
// records that it did (RanPastEnd); every decoder stops at the first code that took
// such a bit and delivers nothing more.
#pragma once

#include "platform/File.h"
#include "platform/Types.h"
#include "streams/BitIo.h"

#include <cstdint>
#include <string>

enum : int {
    METHOD_NONE = -1,
    METHOD_HUFFMAN = 0,
    METHOD_LZSS = 1,
    METHOD_LZW = 2,
};

constexpr UINT COMPRESSED_BUFFER_SIZE = 32000;   // bytes of the transfer buffer
constexpr UINT COMPRESSED_HEADER_SIZE = 16;      // magic + two size fields
constexpr int MAGIC_LENGTH = 8;

// Open flags of the file layer as the streams use them.
constexpr UINT OPEN_READ = 0;
constexpr UINT OPEN_APPEND = 1;
constexpr UINT OPEN_CREATE = 0x1001;

extern const char g_szMagic[3][MAGIC_LENGTH + 1];

// The process-wide progress callback: set by the factory, never cleared.  A stream
// without a sink of its own reports to it.
using ProgressCallback = void (*)(UINT count);
extern ProgressCallback g_pfnProgress;

// Where one stream reports its progress: report(context, count) on the stream's
// thread.  Without report the stream uses g_pfnProgress.
struct ProgressSink {
    void (*report)(void* context, UINT count) = nullptr;
    void* context = nullptr;
};
// The sink of a stream without one of its own: g_pfnProgress as it is at each report.
void ReportToProcessCallback(void* context, UINT count);

// Method of an existing file from its magic: 0, 1, 2, or -1 (no magic, short
// file, or the file cannot be opened).  A failed read throws CFileException.
int DetectMethod(const char* fileName);
// Method of an open file from the magic at its start (the file is left after the
// bytes read); -1 without a magic.  A failed read throws CFileException.
int DetectMethod(CFile& file);
// Method named by the first got bytes of a file: -1 when they are fewer than
// MAGIC_LENGTH or no magic.
int MethodOfMagic(const std::uint8_t* bytes, UINT got);

class CCompressedFile {
public:
    explicit CCompressedFile(int method);
    virtual ~CCompressedFile();
    CCompressedFile(const CCompressedFile&) = delete;
    CCompressedFile& operator=(const CCompressedFile&) = delete;

    // Opens the named disk file.  Failure to open, or a file too long for the
    // format, gives FALSE; a failed read of the header throws CFileException.
    virtual BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
    // Opens the stream on `file`, which the caller opened and keeps: reading and
    // writing start at offset 0 (OPEN_CREATE first empties it, OPEN_APPEND adds at
    // its end), and Close leaves it open, its length and bytes those of the stream.
    BOOL OpenFile(CFile& file, UINT openFlags, CFileException* error = nullptr);
    virtual UINT Read(void* buffer, UINT count);            // the base decodes nothing
    virtual void WriteData(const void* data, UINT count);   // the base codes nothing
    virtual void Close();

    // The descriptor of the disk file the stream works on (-1 for a memory file or
    // after Close) and the file's length now.
    int Handle() const { return m_pFile->Handle(); }
    std::uint64_t GetLength() const { return m_pFile->GetLength(); }

    // A reader found its stream corrupt (a code or symbol that no writer makes)
    // and stopped decoding; no further bytes are delivered.
    bool IsDamaged() const { return m_bDamaged; }
    // A reader needed bits beyond the end of the file: the stream is truncated.
    bool RanPastEnd() const { return m_In.bPastEnd; }
    // After a reader has delivered exactly its original size: reads the end code that
    // must follow.  False when anything else follows (data beyond the original size).
    // A coded stream's last up to seven bits may lie past the end of the file, as the
    // writers leave them unstored; EndCodeEnd() then tells where the code ends.
    virtual bool ReadEndCode() { return true; }
    // Bit position in the payload just after the end code ReadEndCode read.
    std::uint64_t EndCodeEnd() const { return m_nEndCodeEnd; }
    UINT FileLength() const { return m_nFileLength; }
    const std::string& GetFileName() const { return m_szFileName; }
    // The sink this stream reports to from now on (an empty one: g_pfnProgress).
    void SetProgressSink(const ProgressSink& sink)
    {
        m_progress = sink.report ? sink : ProgressSink {ReportToProcessCallback, nullptr};
    }

    // Members the jobs and tests read.
    int m_nMethod;
    UINT m_nOriginalSize = 0;
    UINT m_nCompressedSize = 0;

protected:
    // The shared steps of Open, after the class has set m_nMethod.
    BOOL OpenShared(const char* fileName, UINT openFlags, CFileException* error);
    // Writes out the transfer buffer and, with updateHeader, the header's two
    // sizes (a stream that writes), then closes a file the stream opened itself.
    void CloseBase(BOOL updateHeader = FALSE);

    // Raw bytes through the transfer buffer.
    UINT ReadBuffered(void* buffer, UINT count);
    int ReadByte();
    void WriteBuffered(const void* data, UINT count, BOOL progress);

    // Bit writer, safe path: `bits` from 1 to 32; code bits above `bits` are ignored.
    // Completed bytes go to the transfer buffer, which is flushed when full.
    void PutBits(UINT code, int bits)
    {
        std::uint64_t mask = (std::uint64_t {1} << bits) - 1;
        m_nBitAcc = (m_nBitAcc << bits) | (code & mask);
        m_nBitCount += static_cast<UINT>(bits);
        while (m_nBitCount >= 8) {
            m_nBitCount -= 8;
            PutByte(static_cast<std::uint8_t>(m_nBitAcc >> m_nBitCount));
        }
        m_nBitAcc &= (std::uint64_t {1} << m_nBitCount) - 1;
    }
    // Completes a started byte with zero bits, so that it is stored.
    void PadToByte()
    {
        if (m_nBitCount)
            PutBits(0, static_cast<int>(8 - m_nBitCount));
    }
    // The writer's state for a hot loop's fast path, and back.
    CBitWriter LoadWriter() const { return {m_pBuffer, m_nBufCount, m_nBitAcc, m_nBitCount}; }
    void StoreWriter(const CBitWriter& out)
    {
        m_nCompressedSize += out.nFilled - m_nBufCount;
        m_nBufIndex = m_nBufCount = out.nFilled;
        m_nBitAcc = out.nAcc;
        m_nBitCount = out.nCount;
    }
    // Puts a code through a loop's writer `out` (no code bits above `bits`): by the
    // fast path while the transfer buffer has its room, else by the safe one.
    void PutBits(CBitWriter& out, UINT code, int bits)
    {
        if (__builtin_expect(out.nFilled <= COMPRESSED_BUFFER_SIZE - CBitWriter::FAST_ROOM, 1)) {
            out.PutFast(code, static_cast<UINT>(bits));
            return;
        }
        StoreWriter(out);
        PutBits(code, bits);
        out = LoadWriter();
    }

    // Bit reader, safe path: refills from the transfer buffer, 1 bits past the end of
    // the file.
    UINT PeekBits(int bits)
    {
        if (m_In.nBits < bits)
            RefillBits();
        return m_In.Peek(bits);
    }
    void SkipBits(int bits) { m_In.Skip(bits); }
    UINT InputBits(int bits)
    {
        UINT v = PeekBits(bits);
        SkipBits(bits);
        return v;
    }
    // The reader's state for a hot loop, and back.
    CBitReader LoadReader() const { return m_In; }
    void StoreReader(const CBitReader& in) { m_In = in; }
    // The next `bits` (1 to 32) of a loop's reader `in`, refilled first where it holds
    // fewer: by the fast path while the transfer buffer has eight bytes, else by the
    // safe one.
    UINT PeekBits(CBitReader& in, int bits)
    {
        if (in.nBits < bits)
            RefillBits(in);
        return in.Peek(bits);
    }
    void RefillBits(CBitReader& in)
    {
        if (__builtin_expect(m_nBufCount >= 8, 1)) {
            const UINT take = in.RefillFast(m_pBuffer + m_nBufIndex);
            m_nBufIndex += take;
            m_nBufCount -= take;
            return;
        }
        m_In = in;
        RefillBits();
        in = m_In;
    }

    void SetDamaged() { m_bDamaged = true; }
    // One progress report: to the stream's own sink, else to the process-wide callback.
    void ReportProgress(UINT count) const { m_progress.report(m_progress.context, count); }
    // Payload bits the reader has consumed so far.
    std::uint64_t BitsTaken() const;
    // Payload bits still in the file from the reader's position on (57 or more count as 57
    // or more: the window is filled, not the file measured).
    int BitsLeft();
    // Takes the end code `code` of `bits` bits (1 to 32): true when its bits that lie
    // within the file and the payload the header gives are those of the code; records
    // where the code ends.
    bool TakeEndCode(UINT code, int bits);

    std::uint8_t* m_pBuffer = nullptr;
    UINT m_nFilePos = 0;      // bytes moved between buffer and file since Open
    UINT m_nBufCount = 0;     // writing: bytes buffered; reading: bytes not yet handed out
    UINT m_nBufIndex = 0;     // next position in the buffer
    UINT m_nFileLength = 0;   // length of the file when opened
    BOOL m_bOpen = FALSE;
    BOOL m_bReading = FALSE;
    BOOL m_bWriting = FALSE;
    UINT m_nHeaderPos = 8;      // file position of the two size fields
    std::string m_szFileName;   // the name given to Open, or the given file's name
    UINT m_nOpenFlags = 0;
    CFile* m_pFile = &m_fileOwn;   // the file every byte goes through: m_fileOwn or the caller's

private:
    void PutByte(std::uint8_t byte)
    {
        ++m_nCompressedSize;
        if (m_nBufCount == COMPRESSED_BUFFER_SIZE)
            FlushBuffer(TRUE);
        m_pBuffer[m_nBufIndex++] = byte;
        ++m_nBufCount;
    }
    void FlushBuffer(BOOL progress);
    UINT FillBuffer();
    bool ReadDirect(std::uint8_t* out, UINT want, UINT& done);
    UINT WriteDirect(const std::uint8_t* in, UINT count, BOOL progress);
    void RefillBits();
    void ResetBits();
    void UpdateHeader();

    CFile m_fileOwn;                 // the disk file Open by name opens
    CFile* m_pGivenFile = nullptr;   // OpenFile's file, on its way to OpenShared

    std::uint64_t m_nBitAcc = 0;   // writer: pending bits, right-aligned (CBitWriter::nAcc)
    UINT m_nBitCount = 0;          // writer: pending bits, 0 to 7 between calls
    CBitReader m_In;               // reader: the window
    bool m_bDamaged = false;
    bool m_bAtEnd = false;                                        // reader: the file has no more bytes
    std::uint64_t m_nEndCodeEnd = 0;                              // reader: payload bit just after the end code
    ProgressSink m_progress {ReportToProcessCallback, nullptr};   // the stream's own sink, or the default
};
