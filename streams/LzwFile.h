// Placeholder until the codec lands.
#pragma once
#include "streams/CompressedFile.h"
class CLzwFile : public CCompressedFile {
public:
    CLzwFile() : CCompressedFile(METHOD_LZW) {}
};
