#include "streams/StreamFactory.h"

#include "streams/HuffmanFile.h"
#include "streams/LzssFile.h"
#include "streams/LzwFile.h"
#include "streams/UncompressedFile.h"

#include <new>

CCompressedFile* CreateCompressedFile(const char* fileName, ProgressCallback progress, int method)
{
    if (fileName && *fileName)
        method = DetectMethod(fileName);
    if (progress)
        g_pfnProgress = progress;
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
