// Arbitrary bytes read as an LZW stream, against the literal reference reader.
#include "fuzz/FuzzStream.h"
#include "streams/CompressedFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::CheckDecoder(METHOD_LZW, data, size);
    return 0;
}
