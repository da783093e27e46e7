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

#include "platform/Types.h"
#include "streams/CompressedFile.h"

#include <cstdint>
#include <memory>
#include <string>

constexpr UINT JOB_CHUNK_SIZE = 1u << 20;

// A stream on an existing regular file, of the class its magic names, opened to
// read; null with the cause when it cannot be had.  The magic is read with every
// error checked, before the stream is made and again through the stream's own
// descriptor: a file whose first bytes cannot be read is an error, never a file
// without a magic (which would be read as stored bytes), and a file that changed
// in between is refused.  A FIFO or device is refused without blocking on it.
// progress, when not null, becomes the streams' progress callback.
// A file whose magic or header is damaged gives null too, with *damaged set.
std::unique_ptr<CCompressedFile> OpenReader(const std::string& path, std::string& cause,
                                            ProgressCallback progress = nullptr, bool* damaged = nullptr);

// The method of the file open on fd from its first eight bytes, read without
// moving the file position (METHOD_NONE without a magic); false with the cause
// when they cannot be read.  *damagedMagic, when given, tells whether bytes
// without a magic are a damaged one.
bool MethodOfDescriptor(int fd, int& method, std::string& cause, bool* damagedMagic = nullptr);

// Why a stream that delivered `delivered` bytes is not intact, or "" when it is.
// Once the original size is delivered it reads the end code.  *dataComplete, when
// given, is set when the data is whole and only bytes after it are wrong.
std::string StreamFault(CCompressedFile& stream, UINT delivered, bool* dataComplete = nullptr);

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

enum class CheckResult { Intact, Damaged, Unreadable };

// Reads the header only (decode false) or decodes the whole file (decode true).
CheckResult CheckFile(const std::string& path, bool decode, StreamSummary& summary, std::string& cause);

enum class ProofResult { Same, Different, TwinUnreadable, PlainUnreadable };

// Decodes twin and compares it byte for byte with plain.
ProofResult CompareDecoded(const std::string& twin, const std::string& plain, std::string& cause);
