// Reference codecs for the tests: small, literal, bit-at-a-time in-memory versions of the
// stored, Huffman, LZSS and LZW writers and readers. They share no code with streams/, so the
// production streams can be checked against them byte for byte (files and progress calls).
#pragma once

#include <cstdint>
#include <vector>

namespace oracle {

struct Encoded {
    std::vector<std::uint8_t> file;        // the complete file: 16-byte header (coded methods) + stored payload bytes
    std::vector<std::uint32_t> progress;   // every g_pfnProgress call, in order
};

// method: -1 stored, 0 Huffman, 1 LZSS, 2 LZW (any other number: stored).
// Each inner vector is one WriteData call.
Encoded Encode(int method, const std::vector<std::vector<std::uint8_t>>& calls);
Encoded Encode(int method, const std::vector<std::uint8_t>& data);   // one call

// Decodes a whole file image (header included for coded methods) as a reader that is given the
// successive Read counts in `counts`; returns the concatenated delivered bytes of all calls.
// Stops early (returning what it has) when a Read delivers fewer than asked. A corrupt stream
// (Huffman: escape of a known byte or more than 515 nodes; LZW: undefined code, width past
// 15 bits, chains longer than the stack, more entries than the banks) stops the decoding and
// sets *damaged. A code that needs bits past the end of the file is not delivered and ends the
// decoding.
std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& file, const std::vector<std::uint32_t>& counts,
                                 bool* damaged = nullptr);
std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& file);   // one Read of the header's original size

}   // namespace oracle
