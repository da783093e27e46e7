// What the stream tests share: writing a list of WriteData calls through a stream of one
// method into a memory file (its bytes and the progress calls it made), reading a file image
// back with a list of Read counts, test data (random and structured), the header
// accessors and a fixture that records progress calls.
#pragma once

#include "platform/Types.h"
#include "streams/CompressedFile.h"
#include "tests/oracle/Oracle.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace streamkit {

using Bytes = std::vector<std::uint8_t>;
using Encoded = oracle::Encoded;   // the file and every progress call made while writing it

Bytes Str(const std::string& s);
// The bytes after the 16-byte header.
Bytes Payload(const Bytes& file);
// The little-endian 32-bit field at `at` (8: original size, 12: compressed size).
UINT Le32(const Bytes& file, std::size_t at);
// The file is the 16-byte header (magic, original size, payload size) and then exactly
// `payload`.  Wrapped in ASSERT_NO_FATAL_FAILURE, a file of the wrong size ends the test.
void ExpectFileOf(const Bytes& file, const std::string& magic, std::size_t originalSize, const Bytes& payload);

// WriteData of `count` bytes throws CFileException invalidFile with `osError` and the
// file's name.  Wrapped in ASSERT_NO_FATAL_FAILURE, a write that is not refused ends the test.
void ExpectWriteRefused(CCompressedFile& file, const void* data, UINT count, int osError, const std::string& name);

// Bytes from a Mersenne twister seeded with `seed`, each taken modulo `alphabet`.
Bytes RandomData(std::size_t size, unsigned seed, unsigned alphabet = 256);

// Pieces of random length in random order: runs of one of three values, repeats of
// earlier bytes, four-letter text, optionally history records, and noise.
struct DataMix {
    std::size_t maxPiece;      // longest piece
    std::size_t maxDistance;   // repeats copy from at most this far back; 0: from anywhere earlier
    bool historyPieces;        // history records among the pieces
};
Bytes MixedData(std::size_t size, unsigned seed, const DataMix& mix);
// Pieces up to 600 bytes with repeats at every distance up to 4200, beyond a 4096-byte
// window: matches that overlap, wrap round the window and straddle Read boundaries.
Bytes WindowRepeatData(std::size_t size, unsigned seed);
// Pieces up to 3000 bytes, long repeats of earlier stretches and history records:
// strings of every length and long dictionary chains.
Bytes LongRepeatData(std::size_t size, unsigned seed);

// A code stream's bits, most significant first; past the end they read as 1, as the
// stream readers take them.
class PayloadBits {
public:
    explicit PayloadBits(Bytes payload) : m_payload(std::move(payload)) {}
    UINT Take(int count);

private:
    Bytes m_payload;
    std::size_t m_bit = 0;
};

// Every progress call while a ProgressTest runs, in order.
extern std::vector<UINT> g_progress;
void RecordProgress(UINT n);

// Makes RecordProgress the progress callback for the test and gives it a fresh folder.
class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TempDir dir;
};

struct Decoded {
    Bytes bytes;            // everything the Reads delivered
    bool damaged = false;   // IsDamaged after the last Read
    bool pastEnd = false;   // RanPastEnd after the last Read
};

// Writes and reads streams of one method through memory files.
class StreamTest : public ProgressTest {
protected:
    explicit StreamTest(int method) : m_method(method) {}

    // Writes the calls through a new stream and closes it; the progress calls are
    // also left in g_progress.
    Encoded Encode(const std::vector<Bytes>& calls);
    Encoded Encode(const Bytes& data) { return Encode(std::vector<Bytes> {data}); }

    // Reads a file image with the given Read counts, stopping (like the reference
    // reader) after a Read that delivers fewer bytes than asked.
    Decoded Decode(const Bytes& image, const std::vector<UINT>& counts);
    Decoded Decode(const Bytes& image, UINT count) { return Decode(image, std::vector<UINT> {count}); }
    // One Read of the original size in the header.
    Bytes DecodeAll(const Bytes& image) { return Decode(image, Le32(image, 8)).bytes; }

    // The file, the progress calls and the decoded bytes agree with the reference coder.
    void ExpectLikeOracle(const Bytes& data, const std::vector<Bytes>& calls);

    // Checks Decode makes on every Read when set: the buffer past the delivered bytes is
    // left alone, and (for sound streams) no damage and no progress are reported.
    bool m_checkReadBounds = true;   // no Read touches the buffer past what it delivered
    bool m_expectSoundReads = false;

private:
    int m_method;
};

}   // namespace streamkit
