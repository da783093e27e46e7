// Reading whole streams in chunks: the proof that a compressed twin holds
// exactly the bytes of its plain file, and the --test and --info checks.
//
// Everything is read in chunks of JOB_CHUNK_SIZE bytes, so memory stays the
// same whatever the size of the files.  A stream is intact only when it
// delivers exactly the original size its header gives, finds no code that no
// writer makes, and needs no bits beyond the end of its file.
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
std::unique_ptr<CCompressedFile> OpenReader(const std::string& path, std::string& cause,
                                            ProgressCallback progress = nullptr);

// The method of the file open on fd from its first eight bytes, read without
// moving the file position (METHOD_NONE without a magic); false with the cause
// when they cannot be read.
bool MethodOfDescriptor(int fd, int& method, std::string& cause);

// Why a stream that delivered `delivered` bytes is not intact, or "" when it is.
std::string StreamFault(const CCompressedFile& stream, UINT delivered);

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
