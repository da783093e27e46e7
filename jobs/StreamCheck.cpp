#include "jobs/StreamCheck.h"

#include "jobs/JobError.h"
#include "platform/Folder.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"
#include "platform/SysCall.h"
#include "streams/StreamFactory.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

// Eight bytes that no writer makes as a magic, but that a damaged magic shows: the
// magics' common start with an unknown method, or a magic with up to two bytes changed.
bool IsDamagedMagic(const std::uint8_t* bytes)
{
    if (std::memcmp(bytes, g_szMagic[0], 4) == 0)
        return true;
    for (const char* magic : g_szMagic) {
        int differ = 0;
        for (int i = 0; i < MAGIC_LENGTH; ++i)
            differ += bytes[i] != static_cast<std::uint8_t>(magic[i]);
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
    const std::uint64_t promised = std::uint64_t {COMPRESSED_HEADER_SIZE} + stream.m_nCompressedSize;
    if (length < promised)
        return FormatText(IDS_CAUSE_ENDS_EARLY, {Bytes(promised - length)});
    return {};
}

UINT ChunkFor(UINT total)
{
    return total < JOB_CHUNK_SIZE ? (total > 0 ? total : 1) : JOB_CHUNK_SIZE;
}

// A file opened to read without blocking (a FIFO is refused, not waited on), and
// only when it is a regular file.
class CRegularFile : public CFile {
public:
    bool OpenRegular(const FileRef& file, std::string& cause)
    {
        m_strFileName = file.Shown();
        int error = 0;
        m_hFile = file.folder.OpenRegular(file.name, file.id, error);
        if (m_hFile >= 0)
            return true;
        cause = error == EINVAL   ? LoadResString(IDS_CAUSE_NOT_REGULAR)
                : error == ESTALE ? LoadResString(IDS_CAUSE_NAME_REPLACED)
                                  : std::string(std::strerror(error));
        return false;
    }
};

// Whether original holds exactly the bytes decoded delivers; the cause in fault
// when not (also when either cannot be read).
void CompareContent(CCompressedFile& decoded, CFile& original, JobFault& fault)
{
    const std::string& plain = original.GetFilePath();
    const UINT total = decoded.m_nOriginalSize;
    std::uint64_t length = 0;
    if (!FileStep(IDS_ERR_READ, plain, fault, [&] { length = original.GetLength(); }))
        return;
    if (length != total) {
        fault.cause = FormatText(IDS_CAUSE_SIZES_DIFFER, {std::to_string(total), std::to_string(length)});
        return;
    }
    std::unique_ptr<std::uint8_t[]> theirs;   // not cleared: compared only as far as read
    UINT room = 0;
    const auto compare = [&](const std::uint8_t* mine, UINT got, UINT delivered, JobFault& fault) {
        if (got > room) {
            theirs.reset(new std::uint8_t[got]);
            room = got;
        }
        UINT read = 0;
        if (!FileStep(IDS_ERR_READ, plain, fault, [&] { read = original.Read(theirs.get(), got); }))
            return false;
        if (read == got && std::memcmp(mine, theirs.get(), got) == 0)
            return true;
        fault.cause
            = FormatText(IDS_CAUSE_CONTENT_DIFFERS, {std::to_string(delivered - got), std::to_string(delivered)});
        return false;
    };
    UINT delivered = 0;
    bool intact = false;
    if (!ReadChunks(decoded, IDS_ERR_READ, compare, delivered, fault)
        || !FileStep(IDS_ERR_READ, decoded.GetFileName(), fault,
                     [&] { intact = StreamIntact(decoded, delivered, fault); })
        || !intact)
        return;
    std::uint8_t extra = 0;
    UINT more = 0;
    if (FileStep(IDS_ERR_READ, plain, fault, [&] { more = original.Read(&extra, 1); }) && more != 0)
        fault.cause = LoadResString(IDS_CAUSE_PLAIN_GREW);
}

}   // namespace

bool FileStep(UINT textId, const std::string& file, JobFault& fault, const std::function<void()>& step,
              NoMemory noMemory)
{
    try {
        step();
        return true;
    } catch (const CFileException& failure) {
        // Data beyond what the format can hold fails its file only.
        const bool stops = failure.m_cause != CFileException::invalidFile;
        fault = {textId, file, FileErrorCause(failure), stops && (textId == IDS_ERR_READ || textId == IDS_ERR_WRITE)};
    } catch (const std::bad_alloc&) {
        if (noMemory == NoMemory::PassOn)
            throw;
        fault = {textId, file, std::strerror(ENOMEM)};
    }
    return false;
}

CSourceStream OpenReader(const std::string& path, JobFault& fault, const ProgressSink& progress)
{
    return OpenReader(FileRef::Path(path), fault, progress);
}

CSourceStream OpenReader(const FileRef& source, JobFault& fault, const ProgressSink& progress, bool plainSource)
{
    CSourceStream result;
    const std::string path = source.Shown();
    fault = {IDS_ERR_OPEN_FILE, path, {}};
    auto file = std::make_unique<CRegularFile>();
    std::uint8_t magic[MAGIC_LENGTH];
    UINT got = 0;
    if (!file->OpenRegular(source, fault.cause)
        || !FileStep(IDS_ERR_OPEN_FILE, path, fault, [&] { got = file->Read(magic, MAGIC_LENGTH); }))
        return result;
    const int method = MethodOfMagic(magic, got);
    if (method == METHOD_NONE && got == MAGIC_LENGTH && !plainSource && IsDamagedMagic(magic)) {
        fault = {IDS_ERR_DAMAGED, path, LoadResString(IDS_CAUSE_DAMAGED_MAGIC)};
        return result;
    }
    // The stream reads its header through the same file: when it finds another
    // method there, the file changed in between.
    std::unique_ptr<CCompressedFile> stream(CreateCompressedFile(nullptr, progress, method));
    CFileException error;
    BOOL opened = FALSE;
    if (!stream)
        fault.cause = std::strerror(ENOMEM);
    else if (!FileStep(IDS_ERR_OPEN_FILE, path, fault, [&] { opened = stream->OpenFile(*file, OPEN_READ, &error); }))
        return result;
    else if (!opened)
        fault.cause = error.m_lOsError ? FileErrorCause(error) : std::string(std::strerror(ENOMEM));
    else if (stream->m_nMethod != method)
        fault.cause = LoadResString(IDS_CAUSE_HEADER_UNSTABLE);
    else if (!(fault.cause = HeaderFault(*stream)).empty())
        fault.textId = IDS_ERR_DAMAGED;
    if (!fault.cause.empty())
        return result;
    result.m_pFile = std::move(file);
    result.m_pStream = std::move(stream);
    return result;
}

bool ReadChunks(CCompressedFile& stream, UINT readTextId, const ChunkSink& take, UINT& delivered, JobFault& fault)
{
    const UINT total = stream.m_nOriginalSize;
    // Not cleared: every byte handed on has been read into it first.
    const UINT size = ChunkFor(total);
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[size]);
    delivered = 0;
    while (delivered < total) {
        const UINT want = total - delivered < size ? total - delivered : size;
        UINT got = 0;
        if (!FileStep(readTextId, stream.GetFileName(), fault, [&] { got = stream.Read(buffer.get(), want); }))
            return false;
        delivered += got;
        if (!take(buffer.get(), got, delivered, fault))
            return false;
        if (got < want)
            break;
    }
    return true;
}

namespace {

// Two chunk buffers between a reading thread, which fills them in turn, and the
// taking thread, which hands each on and frees it again.
class CChunkPipe {
public:
    explicit CChunkPipe(UINT size)
    {
        for (Chunk& chunk : m_chunks)
            chunk.data.reset(new std::uint8_t[size]);
    }

    // Reading thread: copies a chunk in once its buffer is free; false once stopped.
    bool Put(const std::uint8_t* data, UINT got)
    {
        Chunk& chunk = m_chunks[m_nPut];
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_changed.wait(hold, [&] { return !chunk.full || m_bStop; });
            if (m_bStop)
                return false;
        }
        std::memcpy(chunk.data.get(), data, got);   // the taker never looks at a chunk not full
        Publish([&] {
            chunk.got = got;
            chunk.full = true;
        });
        m_nPut ^= 1;
        return true;
    }
    // Reading thread: no chunk follows.
    void Close()
    {
        Publish([&] { m_bReaderDone = true; });
    }
    // Taking thread: hands each chunk to take until the reader is done or take
    // refuses one; false when it refused.
    bool TakeAll(const ChunkSink& take, UINT& delivered, JobFault& fault)
    {
        for (int k = 0;; k ^= 1) {
            Chunk& chunk = m_chunks[k];
            {
                std::unique_lock<std::mutex> hold(m_lock);
                m_changed.wait(hold, [&] { return chunk.full || m_bReaderDone; });
                if (!chunk.full)
                    return true;
            }
            delivered += chunk.got;
            const bool taken = take(chunk.data.get(), chunk.got, delivered, fault);
            Publish([&] { chunk.full = false; });
            if (!taken)
                return false;
        }
    }
    // Either thread: the reader puts nothing more.
    void Stop()
    {
        Publish([&] { m_bStop = true; });
    }

private:
    struct Chunk {
        std::unique_ptr<std::uint8_t[]> data;
        UINT got = 0;
        bool full = false;   // read, not yet taken
    };
    template <class Change>
    void Publish(const Change& change)
    {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            change();
        }
        m_changed.notify_all();
    }

    Chunk m_chunks[2];
    int m_nPut = 0;   // the reader's next chunk
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_bReaderDone = false, m_bStop = false;
};

}   // namespace

bool ReadChunksAhead(CCompressedFile& stream, UINT readTextId, const ChunkSink& take, UINT& delivered, JobFault& fault)
{
    const UINT total = stream.m_nOriginalSize;
    const UINT size = ChunkFor(total);
    JobFault readFault;
    bool readFailed = false;
    std::exception_ptr readError;
    std::unique_ptr<CChunkPipe> pipe;
    // The reading thread runs the one chunk loop and copies each chunk into the
    // pipe (the copy costs the spare processor).
    const auto read = [&] {
        try {
            UINT done = 0;
            const ChunkSink put
                = [&](const std::uint8_t* data, UINT got, UINT, JobFault&) { return pipe->Put(data, got); };
            readFailed = !ReadChunks(stream, readTextId, put, done, readFault);
        } catch (...) {
            readError = std::current_exception();
        }
        pipe->Close();
    };
    std::thread reader;
    try {
        pipe = std::make_unique<CChunkPipe>(size);
        if (total > size)
            reader = std::thread(read);
    } catch (const std::exception&) {   // no second buffer or thread: read in turn
    }
    if (!reader.joinable())
        return ReadChunks(stream, readTextId, take, delivered, fault);
    delivered = 0;
    bool taken = true;
    // The reading thread is stopped and joined however taking ends, also by an exception.
    try {
        taken = pipe->TakeAll(take, delivered, fault);
    } catch (...) {
        pipe->Stop();
        reader.join();
        throw;
    }
    pipe->Stop();
    reader.join();
    if (readError)
        std::rethrow_exception(readError);
    if (taken && readFailed)
        fault = readFault;
    return taken && !readFailed;
}

namespace {

// Why a stream that delivered `delivered` bytes is not intact, or "" when it is.
std::string StreamDamage(CCompressedFile& stream, UINT delivered, bool* dataComplete)
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
    const std::uint64_t payload = std::uint64_t {stream.FileLength()} - COMPRESSED_HEADER_SIZE;
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

}   // namespace

bool StreamIntact(CCompressedFile& stream, UINT delivered, JobFault& fault, bool* dataComplete)
{
    std::string damage = StreamDamage(stream, delivered, dataComplete);
    if (damage.empty())
        return true;
    fault = {IDS_ERR_DAMAGED, stream.GetFileName(), std::move(damage)};
    return false;
}

std::string FileErrorCause(const CFileException& error)
{
    return error.m_lOsError ? std::string(std::strerror(error.m_lOsError)) : error.Describe();
}

const char* MethodName(int method)
{
    switch (method) {
    case METHOD_HUFFMAN:
        return "huffman";
    case METHOD_LZSS:
        return "lzss";
    case METHOD_LZW:
        return "lzw";
    default:
        return "stored";
    }
}

bool CheckFile(const std::string& path, bool decode, StreamSummary& summary, JobFault& fault)
{
    return CheckFile(FileRef::Path(path), decode, summary, fault);
}

bool CheckFile(const FileRef& file, bool decode, StreamSummary& summary, JobFault& fault)
{
    const std::string path = file.Shown();
    bool intact = false;
    const auto check = [&] {
        CSourceStream stream = OpenReader(file, fault);
        if (!stream)
            return;
        summary.method = stream->m_nMethod;
        summary.originalSize = stream->m_nOriginalSize;
        summary.fileSize = stream->GetLength();
        if (!decode) {
            intact = true;
            return;
        }
        UINT delivered = 0;
        const auto skip = [](const std::uint8_t*, UINT, UINT, JobFault&) { return true; };
        if (ReadChunks(*stream, IDS_ERR_OPEN_FILE, skip, delivered, fault)
            && FileStep(IDS_ERR_OPEN_FILE, path, fault, [&] { intact = StreamIntact(*stream, delivered, fault); }))
            fault.file = path;   // damaged: named as the caller named it
    };
    return FileStep(IDS_ERR_OPEN_FILE, path, fault, check, NoMemory::IsFault) && intact;
}

bool CompareDecoded(const std::string& twin, const std::string& plain, std::string& cause)
{
    return CompareDecoded(FileRef::Path(twin), FileRef::Path(plain), cause);
}

bool CompareDecoded(const FileRef& twin, const FileRef& plain, std::string& cause)
{
    JobFault fault;
    FileStep(
        IDS_ERR_READ, twin.Shown(), fault,
        [&] {
            CSourceStream decoded = OpenReader(twin, fault);
            CRegularFile original;
            if (decoded && original.OpenRegular(plain, fault.cause))   // else the cause is set
                CompareContent(*decoded, original, fault);
        },
        NoMemory::IsFault);
    cause = fault.cause;
    return cause.empty();
}
