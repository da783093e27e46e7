// CUncompressedFile: the stored method.  A stored file has no header, no magic and
// no size fields; its bytes are the data.  Reading hands out the file's bytes in
// order; writing buffers them and reports each 32000-byte flush to its progress
// sink.
#pragma once

#include "streams/CompressedFile.h"

class CUncompressedFile : public CCompressedFile {
public:
    CUncompressedFile() : CCompressedFile(METHOD_NONE) {}

    BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr) override;
    UINT Read(void* buffer, UINT count) override;
    void WriteData(const void* data, UINT count) override;
};
