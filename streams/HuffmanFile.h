// Placeholder until the codec lands.
#pragma once
#include "streams/CompressedFile.h"
class CHuffmanFile : public CCompressedFile {
public:
    CHuffmanFile() : CCompressedFile(METHOD_LZW) {}
};
