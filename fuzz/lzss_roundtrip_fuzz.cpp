// Arbitrary data through the LZSS writer and back, against the reference writer.
#include "fuzz/FuzzStream.h"
#include "streams/CompressedFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::CheckRoundTrip(METHOD_LZSS, data, size);
    return 0;
}
