#include "streams/StreamFactory.h"

#include "streams/HuffmanFile.h"
#include "streams/LzssFile.h"
#include "streams/LzwFile.h"
#include "streams/UncompressedFile.h"

#include <new>

namespace {

// The stream of a method, or of the method an existing file's magic names.
CCompressedFile* MakeStream(const char* fileName, int method)
{
    if (fileName && *fileName)
        method = DetectMethod(fileName);
    switch (method) {
    case METHOD_HUFFMAN:
        return new (std::nothrow) CHuffmanFile;
    case METHOD_LZSS:
        return new (std::nothrow) CLzssFile;
    case METHOD_LZW:
        return new (std::nothrow) CLzwFile;
    default:
        return new (std::nothrow) CUncompressedFile;
    }
}

}   // namespace

CCompressedFile* CreateCompressedFile(const char* fileName, ProgressCallback progress, int method)
{
    // The callback is taken once the magic has been read.
    if (fileName && *fileName)
        method = DetectMethod(fileName);
    if (progress)
        g_pfnProgress = progress;
    return MakeStream(nullptr, method);
}

CCompressedFile* CreateCompressedFile(const char* fileName, const ProgressSink& sink, int method)
{
    CCompressedFile* stream = MakeStream(fileName, method);
    if (stream)
        stream->SetProgressSink(sink);
    return stream;
}
