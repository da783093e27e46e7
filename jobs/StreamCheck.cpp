#include "jobs/StreamCheck.h"

#include "jobs/JobError.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"
#include "streams/StreamFactory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Eight bytes that no writer makes as a magic, but that a damaged magic shows: the
// magics' common start with an unknown method, or a magic with up to two bytes changed.
bool IsDamagedMagic(const char* bytes)
{
    if (std::memcmp(bytes, g_szMagic[0], 4) == 0)
        return true;
    for (const char* magic : g_szMagic) {
        int differ = 0;
        for (int i = 0; i < MAGIC_LENGTH; ++i)
            differ += bytes[i] != magic[i];
        if (differ <= 2)
            return true;
    }
    return false;
}

std::string Bytes(std::uint64_t n)
{
    return FormatText(n == 1 ? IDS_CAUSE_BYTE : IDS_CAUSE_BYTES, {std::to_string(n)});
}

// What the header of a coded stream promises that the file itself shows wrong.
std::string HeaderFault(const CCompressedFile& stream)
{
    if (stream.m_nMethod == METHOD_NONE)
        return {};
    const std::uint64_t length = stream.FileLength();
    if (length < COMPRESSED_HEADER_SIZE)
        return FormatText(IDS_CAUSE_SHORTER_THAN_HEADER, {Bytes(length)});
    const std::uint64_t promised = std::uint64_t{COMPRESSED_HEADER_SIZE} + stream.m_nCompressedSize;
    if (length < promised)
        return FormatText(IDS_CAUSE_ENDS_EARLY, {Bytes(promised - length)});
    return {};
}

UINT ChunkFor(UINT total)
{
    return total < JOB_CHUNK_SIZE ? (total > 0 ? total : 1) : JOB_CHUNK_SIZE;
}

// One attempt; changed is set when the stream read another header than we did.
std::unique_ptr<CCompressedFile> OpenReaderOnce(const std::string& path, std::string& cause, ProgressCallback progress,
                                                bool& changed, bool& damaged)
{
    changed = damaged = false;
    int method = METHOD_NONE;
    {
        // Not blocking: a FIFO must be refused, not waited on.
        int fd;
        do {
            fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            cause = std::strerror(errno);
            return nullptr;
        }
        struct stat st {};
        bool ok = false;
        if (::fstat(fd, &st) != 0)
            cause = std::strerror(errno);
        else if (!S_ISREG(st.st_mode))
            cause = LoadResString(IDS_CAUSE_NOT_REGULAR);
        else
            ok = MethodOfDescriptor(fd, method, cause, &damaged);
        ::close(fd);
        if (!ok)
            return nullptr;
        if (damaged) {
            cause = LoadResString(IDS_CAUSE_DAMAGED_MAGIC);
            return nullptr;
        }
    }
    std::unique_ptr<CCompressedFile> stream(CreateCompressedFile(nullptr, progress, method));
    if (!stream) {
        cause = std::strerror(ENOMEM);
        return nullptr;
    }
    try {
        CFileException error;
        if (!stream->Open(path.c_str(), OPEN_READ, &error)) {
            cause = error.m_lOsError ? FileErrorCause(error) : std::string(std::strerror(ENOMEM));
            return nullptr;
        }
        struct stat st {};
        if (::fstat(stream->Handle(), &st) != 0 || !S_ISREG(st.st_mode)) {
            cause = LoadResString(IDS_CAUSE_NOT_REGULAR);
            return nullptr;
        }
        // The stream found its method on its own; it must be the one we read.
        int again = METHOD_NONE;
        if (!MethodOfDescriptor(stream->Handle(), again, cause))
            return nullptr;
        if (again != method || stream->m_nMethod != method) {
            cause = LoadResString(IDS_CAUSE_HEADER_UNSTABLE);
            changed = true;
            return nullptr;
        }
        cause = HeaderFault(*stream);
        if (!cause.empty()) {
            damaged = true;
            return nullptr;
        }
    } catch (const CFileException& failure) {
        cause = FileErrorCause(failure);
        return nullptr;
    }
    return stream;
}

} // namespace

std::unique_ptr<CCompressedFile> OpenReader(const std::string& path, std::string& cause, ProgressCallback progress,
                                            bool* damaged)
{
    bool damagedHeader = false;
    // The stream reads the magic once more on its own and takes a failed read
    // for "no magic"; such a mismatch is tried again a few times before the
    // file counts as one that changed while it was opened.
    bool changed = true;
    std::unique_ptr<CCompressedFile> stream;
    for (int attempt = 0; attempt < 3 && changed && !stream; ++attempt) {
        cause.clear();
        stream = OpenReaderOnce(path, cause, progress, changed, damagedHeader);
    }
    if (damaged)
        *damaged = damagedHeader;
    return stream;
}

bool MethodOfDescriptor(int fd, int& method, std::string& cause, bool* damagedMagic)
{
    char magic[MAGIC_LENGTH];
    std::size_t got = 0;
    while (got < sizeof magic) {
        const ssize_t n = ::pread(fd, magic + got, sizeof magic - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            cause = std::strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    method = METHOD_NONE;
    for (int m = METHOD_HUFFMAN; m <= METHOD_LZW && got == sizeof magic; ++m)
        if (std::memcmp(magic, g_szMagic[m], MAGIC_LENGTH) == 0)
            method = m;
    if (damagedMagic)
        *damagedMagic = method == METHOD_NONE && got == sizeof magic && IsDamagedMagic(magic);
    return true;
}

std::string StreamFault(CCompressedFile& stream, UINT delivered, bool* dataComplete)
{
    if (dataComplete)
        *dataComplete = false;
    const UINT total = stream.m_nOriginalSize;
    std::string fault = HeaderFault(stream);
    if (!fault.empty())
        return fault;
    if (stream.IsDamaged())
        return FormatText(IDS_CAUSE_BAD_CODE, {Bytes(delivered)});
    if (stream.m_nMethod == METHOD_NONE && delivered < total)
        return FormatText(IDS_CAUSE_CUT_SHORT, {std::to_string(delivered), Bytes(total)});
    if (stream.RanPastEnd())
        return FormatText(IDS_CAUSE_CODES_RUN_OUT, {std::to_string(delivered), Bytes(total)});
    if (delivered < total)
        return FormatText(IDS_CAUSE_DATA_ENDS, {std::to_string(delivered), Bytes(total)});
    if (stream.m_nMethod == METHOD_NONE)
        return {};
    if (!stream.ReadEndCode())
        return stream.IsDamaged() ? FormatText(IDS_CAUSE_BAD_CODE, {Bytes(delivered)})
                                  : FormatText(IDS_CAUSE_DATA_GOES_ON, {Bytes(total)});
    // A writer stores the byte the end code ends in, or leaves it unstored when
    // only the code's last bits would be in it.
    const std::uint64_t payload = std::uint64_t{stream.FileLength()} - COMPRESSED_HEADER_SIZE;
    const std::uint64_t last = stream.EndCodeEnd() / 8, stored = (stream.EndCodeEnd() + 7) / 8;
    if (payload < last)
        return LoadResString(IDS_CAUSE_END_CODE_CUT);
    const std::uint64_t field = stream.m_nCompressedSize;
    const std::uint64_t coded = field >= last && field <= std::min(stored, payload) ? field : std::min(stored, payload);
    if (coded != field)
        return FormatText(IDS_CAUSE_CODED_SIZE, {Bytes(stream.m_nCompressedSize), Bytes(coded)});
    if (payload > coded) {
        if (dataComplete)
            *dataComplete = true;
        return FormatText(IDS_CAUSE_TRAILING, {Bytes(payload - coded)});
    }
    return {};
}

std::string FileErrorCause(const CFileException& error)
{
    return error.m_lOsError ? std::string(std::strerror(error.m_lOsError)) : error.Describe();
}

const char* MethodName(int method)
{
    switch (method) {
    case METHOD_HUFFMAN: return "huffman";
    case METHOD_LZSS: return "lzss";
    case METHOD_LZW: return "lzw";
    default: return "stored";
    }
}

CheckResult CheckFile(const std::string& path, bool decode, StreamSummary& summary, std::string& cause)
{
    try {
        bool damaged = false;
        std::unique_ptr<CCompressedFile> stream = OpenReader(path, cause, nullptr, &damaged);
        if (!stream)
            return damaged ? CheckResult::Damaged : CheckResult::Unreadable;
        summary.method = stream->m_nMethod;
        summary.originalSize = stream->m_nOriginalSize;
        summary.fileSize = stream->GetLength();
        if (!decode)
            return CheckResult::Intact;
        const UINT total = stream->m_nOriginalSize;
        std::vector<std::uint8_t> buffer(ChunkFor(total));
        UINT delivered = 0;
        while (delivered < total) {
            const UINT want = total - delivered < buffer.size() ? total - delivered : static_cast<UINT>(buffer.size());
            const UINT got = stream->Read(buffer.data(), want);
            delivered += got;
            if (got < want)
                break;
        }
        cause = StreamFault(*stream, delivered);
        return cause.empty() ? CheckResult::Intact : CheckResult::Damaged;
    } catch (const CFileException& error) {
        cause = FileErrorCause(error);
    } catch (const std::bad_alloc&) {
        cause = std::strerror(ENOMEM);
    }
    return CheckResult::Unreadable;
}

ProofResult CompareDecoded(const std::string& twin, const std::string& plain, std::string& cause)
{
    bool readingPlain = false;
    try {
        std::unique_ptr<CCompressedFile> decoded = OpenReader(twin, cause);
        if (!decoded)
            return ProofResult::TwinUnreadable;
        readingPlain = true;
        CFile original;
        CFileException error;
        if (!original.Open(plain.c_str(), CFile::modeRead, &error)) {
            cause = FileErrorCause(error);
            return ProofResult::PlainUnreadable;
        }
        const UINT total = decoded->m_nOriginalSize;
        if (original.GetLength() != total) {
            cause = FormatText(IDS_CAUSE_SIZES_DIFFER, {std::to_string(total), std::to_string(original.GetLength())});
            return ProofResult::Different;
        }
        std::vector<std::uint8_t> mine(ChunkFor(total)), theirs(ChunkFor(total));
        UINT delivered = 0;
        while (delivered < total) {
            const UINT want = total - delivered < mine.size() ? total - delivered : static_cast<UINT>(mine.size());
            readingPlain = false;
            const UINT got = decoded->Read(mine.data(), want);
            readingPlain = true;
            if (original.Read(theirs.data(), got) != got || std::memcmp(mine.data(), theirs.data(), got) != 0) {
                cause = FormatText(IDS_CAUSE_CONTENT_DIFFERS,
                                   {std::to_string(delivered), std::to_string(delivered + got)});
                return ProofResult::Different;
            }
            delivered += got;
            if (got < want)
                break;
        }
        cause = StreamFault(*decoded, delivered);
        if (!cause.empty())
            return ProofResult::TwinUnreadable;
        std::uint8_t extra;
        if (original.Read(&extra, 1) != 0) {
            cause = LoadResString(IDS_CAUSE_PLAIN_GREW);
            return ProofResult::Different;
        }
        return ProofResult::Same;
    } catch (const CFileException& error) {
        cause = FileErrorCause(error);
    } catch (const std::bad_alloc&) {
        cause = std::strerror(ENOMEM);
    }
    return readingPlain ? ProofResult::PlainUnreadable : ProofResult::TwinUnreadable;
}
