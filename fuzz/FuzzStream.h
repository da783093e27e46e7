// Shared bodies of the stream fuzz targets.  Everything runs in memory: the input is
// a memory file, and each input is decoded only as often as the checks need.
//
// CheckDecoder: the input, behind a method's magic, is read as a stream of that
// method, once in Read counts seeded by the input and once one byte at a time.  Both
// must deliver exactly what the literal reference reader delivers for the same counts,
// with the same damage verdict, and no Read may write beyond the bytes it delivered.
// The seeded pass lands on the header's original size and there runs the full
// integrity check (end code and sizes); a stream it calls intact must be one the
// reference reader decodes whole.  The bytewise pass reads on past the original
// size, as a careless caller might, but never further than 4 KiB past it.
//
// CheckRoundTrip: the input (its first byte chooses how) is coded by a method's writer
// in one or many WriteData calls; the file and the progress calls must equal the
// reference writer's, and reading it back, in one Read or in small Reads, must give
// the data and pass the full integrity check.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

void CheckDecoder(int method, const std::uint8_t* data, std::size_t size);
void CheckRoundTrip(int method, const std::uint8_t* input, std::size_t size);

}   // namespace fuzz
