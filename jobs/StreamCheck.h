// Reading whole streams in chunks: the proof that a compressed twin holds
// exactly the bytes of its plain file, and the --test and --info checks.
//
// Everything is read in chunks of JOB_CHUNK_SIZE bytes, so memory stays the
// same whatever the size of the files.  A coded stream is intact only when
//  - its first eight bytes are a known magic (eight bytes that begin "**++", or
//    that differ from a magic in at most two bytes, are a damaged magic, never
//    the start of a stored file);
//  - the file holds its 16-byte header and the compressed size the header gives;
//  - it delivers exactly the original size its header gives, finds no code that
//    no writer makes, and needs no bits beyond the end of its file;
//  - the end code follows the data (its last up to seven bits may be missing, as
//    writers leave them unstored) and the coded data ends in the last byte of the
//    file, of which the compressed size field counts every byte.
// Bytes after complete coded data are reported, but the data itself is whole.
#pragma once

#include "jobs/JobError.h"
#include "platform/Folder.h"
#include "platform/Types.h"
#include "streams/CompressedFile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

constexpr UINT JOB_CHUNK_SIZE = 1u << 20;

// A stream opened to read a file, and the file it reads through.
class CSourceStream {
public:
    explicit operator bool() const { return m_pStream != nullptr; }
    CCompressedFile* operator->() const { return m_pStream.get(); }
    CCompressedFile& operator*() const { return *m_pStream; }

private:
    friend CSourceStream OpenReader(const FileRef& source, JobFault& fault, const ProgressSink& progress,
                                    bool plainSource);

    std::unique_ptr<CFile> m_pFile;   // made first, so that it outlives the stream
    std::unique_ptr<CCompressedFile> m_pStream;
};

// A stream on an existing regular file, of the class its magic names, opened to
// read; empty with the fault when it cannot be had.  The file is opened once and
// its magic read with every error checked: a file that cannot be opened or whose
// first bytes cannot be read fails with its cause (IDS_ERR_OPEN_FILE), never taken
// for a file without a magic (which would be read as stored bytes).  A damaged
// magic or header fails as IDS_ERR_DAMAGED.  A FIFO or device is refused without
// blocking on it.  The stream reports its progress to the sink progress (an empty
// sink: the process-wide callback).
CSourceStream OpenReader(const std::string& path, JobFault& fault, const ProgressSink& progress = {});
// The same for a file of a folder: never through a link (but in the current
// folder), and only the file a look saw when source names one.  A plainSource
// (one to compress) whose first bytes merely come near a magic is taken as the
// stored bytes the format makes of it: nothing coded is expected there.
CSourceStream OpenReader(const FileRef& source, JobFault& fault, const ProgressSink& progress = {},
                         bool plainSource = false);

// The one chunk loop: reads the stream's content in chunks of at most
// JOB_CHUNK_SIZE bytes and hands each to take, until the original size is
// delivered or the stream delivers no more; delivered counts the bytes.  False
// with the fault when a read fails (of kind readTextId, as FileStep makes it) or
// when take returns false (take sets the fault).
using ChunkSink = std::function<bool(const std::uint8_t* data, UINT count, UINT delivered, JobFault& fault)>;
bool ReadChunks(CCompressedFile& stream, UINT readTextId, const ChunkSink& take, UINT& delivered, JobFault& fault);
// ReadChunks with the reading on a thread of its own, one chunk ahead of take,
// which runs on the calling thread: one file's conversion then reads (or
// decodes) on one processor while it codes (or writes) on another.  The stream
// is the reading thread's until the call returns.
bool ReadChunksAhead(CCompressedFile& stream, UINT readTextId, const ChunkSink& take, UINT& delivered, JobFault& fault);

// The one place where what the file layer and the allocator throw becomes a
// fault.  Runs step, a call into the file layer (or a whole step of a job); false
// with the fault (textId, file and the cause) when it throws a CFileException.
// A failed read (IDS_ERR_READ) or write (IDS_ERR_WRITE) stops the job, unless its
// data is merely beyond what the format can hold.  With NoMemory::IsFault a
// std::bad_alloc becomes the fault (textId, file, ENOMEM's text) too; else it
// goes on up to the step that names the file it failed.
enum class NoMemory { PassOn, IsFault };
bool FileStep(UINT textId, const std::string& file, JobFault& fault, const std::function<void()>& step,
              NoMemory noMemory = NoMemory::PassOn);

// Whether a stream that delivered `delivered` bytes is intact; false with the
// fault (IDS_ERR_DAMAGED, the stream's file, why) when not.  Once the original
// size is delivered it reads the end code.  *dataComplete, when given, is set
// when the data is whole and only bytes after it are wrong.
bool StreamIntact(CCompressedFile& stream, UINT delivered, JobFault& fault, bool* dataComplete = nullptr);

// The cause text of a file-layer failure: its description without the name of
// the file (the messages name the file themselves).
std::string FileErrorCause(const CFileException& error);

// Method name as the options and messages spell it: lzw, lzss, huffman, stored.
const char* MethodName(int method);

struct StreamSummary {
    int method = METHOD_NONE;
    UINT originalSize = 0;        // from the header (a stored file: its length)
    std::uint64_t fileSize = 0;   // bytes of the file itself
};

// Reads the header only (decode false) or decodes the whole file (decode true);
// false with the fault: IDS_ERR_DAMAGED, or IDS_ERR_OPEN_FILE when the file
// cannot be read.
bool CheckFile(const std::string& path, bool decode, StreamSummary& summary, JobFault& fault);
bool CheckFile(const FileRef& file, bool decode, StreamSummary& summary, JobFault& fault);

// Decodes twin and compares it byte for byte with plain; false with the cause
// when they differ or either cannot be read.
bool CompareDecoded(const std::string& twin, const std::string& plain, std::string& cause);
// The same for files of folders, each opened as OpenReader opens a source: a
// name swapped since the look for a link, a FIFO or another file fails.
bool CompareDecoded(const FileRef& twin, const FileRef& plain, std::string& cause);
