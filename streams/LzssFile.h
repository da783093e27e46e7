// Placeholder until the codec lands.
#pragma once
#include "streams/CompressedFile.h"
class CLzssFile : public CCompressedFile {
public:
    CLzssFile() : CCompressedFile(METHOD_LZW) {}
};
