// Shared bodies of the stream fuzz targets.
//
// CheckDecoder: the input, behind a method's magic, is read as a stream of that
// method, once in Read counts seeded by the input and once one byte at a time.  Both
// must deliver exactly what the literal reference reader delivers for the same counts,
// with the same damage verdict, and no Read may write beyond the bytes it delivered.
// Reading goes past the end code and the original size (within a bound), as a careless
// caller might.
//
// CheckRoundTrip: the input (its first byte chooses how) is coded by a method's writer
// in one or many WriteData calls; the file and the progress calls must equal the
// reference writer's, and reading it back, in one Read or in small Reads, must give
// the data with no damage and no bits past the end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

void CheckDecoder(int method, const std::uint8_t* data, std::size_t size);
void CheckRoundTrip(int method, const std::uint8_t* input, std::size_t size);

} // namespace fuzz
