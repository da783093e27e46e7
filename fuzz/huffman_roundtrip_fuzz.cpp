// Arbitrary data through the adaptive Huffman writer and back, against the reference writer.
#include "fuzz/FuzzStream.h"
#include "streams/CompressedFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::CheckRoundTrip(METHOD_HUFFMAN, data, size);
    return 0;
}
