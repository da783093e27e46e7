// CLzwFile: the LZW stream, method 2, magic "**++LZW ".
//
// Code stream (after the 16-byte header), each code at the width in force, most
// significant bit first, packed into bytes from bit 7 down:
//   0..255        the byte of that value
//   256           end of the coded data (the last code of every stream)
//   257           widen: every following code is one bit wider
//   258           reset: the dictionary is cleared, codes are 9 bits again and the
//                 next code is a byte value
//   259..32767    dictionary strings, assigned in increasing order
// Codes start 9 bits wide.  The writer assigns the next code to (string matched so
// far + the byte that did not extend it) each time it emits the matched string; right
// after the emission that assigned 511, 1023, ..., 16383 it emits 257 at the old
// width, and after the one that assigned 32767 it emits 258 at 15 bits instead.  So
// widths run from 9 to 15.  Close emits the pending string code (0 for an empty
// stream) and 256; the one to seven bits of the incomplete last byte are not stored.
//
// The writer passes its position in the caller's data to its progress sink at
// every data code emitted at a multiple of 1000, before the code's bits.
//
// The reader can stop after any byte and resume in the next Read.  A code that is
// not defined yet, a widen past 15 bits, a first code of a period that is no byte,
// or more entries than the 35072 that the dictionary holds marks the stream damaged
// and ends decoding; so does a code that needs bits past the end of the file.
#pragma once

#include "streams/CompressedFile.h"
#include "streams/LzwDictionary.h"

#include <cstdint>

constexpr UINT LZW_END_OF_DATA = 256;
constexpr UINT LZW_WIDEN = 257;
constexpr UINT LZW_RESET = 258;
constexpr UINT LZW_FIRST_FREE = 259;
constexpr UINT LZW_MAX_CODE = 32767;
// The longest string the reader decodes, and so the size of its decode stack: the
// hash table size of the format's original coder, whose decode stack it sized.  No
// string LZW_ENTRY_COUNT entries define is this long; a longer one reads as damage.
constexpr UINT LZW_DECODE_STACK_SIZE = 35023;
constexpr UINT LZW_BANK_COUNT = 137;
constexpr UINT LZW_ENTRY_COUNT = LZW_BANK_COUNT * 256;   // entries the reader can define
constexpr UINT LZW_HISTORY_SIZE = 1u << 20;              // reader history of one dictionary period

// The writer uses AVX2 for its dictionary probes where the processor has it; clearing
// this makes it use its SSE2 probes (the tests check both give the same files).
extern bool g_bLzwWideProbes;

class CLzwFile : public CCompressedFile {
public:
    CLzwFile() : CCompressedFile(METHOD_LZW) {}
    ~CLzwFile() override;
    CLzwFile(const CLzwFile&) = delete;
    CLzwFile& operator=(const CLzwFile&) = delete;

    BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr) override;
    // Delivers up to count decoded bytes; returns the number delivered by this call.
    // Nothing more once a code would need bits past the end of the file (RanPastEnd).
    UINT Read(void* buffer, UINT count) override;
    // The end code 256 at the width in force; an empty stream's writer may put the
    // code 0 before it.
    bool ReadEndCode() override;
    void Close() override;
    // Codes count bytes.  Throws CFileException (invalidFile, EFBIG) before coding
    // anything when the original size would pass 4 GiB - 1.
    void WriteData(const void* data, UINT count) override;

protected:
    void ResetDictionary();
    void AllocDictionary(BOOL forWriting);
    void FreeDictionary();
    // Reader: writes the string of a defined code to dst, first byte first.
    void DecodeString(std::uint8_t* dst, UINT code) const;

private:
    // Writer.
    void EncodeFrom(const std::uint8_t* data, UINT p, UINT count);
    void EncodeFromWide(const std::uint8_t* data, UINT p, UINT count);
    void EncodeFromPortable(const std::uint8_t* data, UINT p, UINT count);
    template <bool WIDE>
    class CEncodeRun;
    // Out of line: the writer's flattened loop keeps only the call on its rare path.
    [[gnu::noinline]] void PassProgressMark(UINT p);

    // Reader.
    UINT DecodeFast(UINT want);
    BOOL DecodeCode(UINT code);

    CLzwEncodeTable* m_pEncodeTable = nullptr;           // writer's dictionary
    std::uint8_t* m_pHistory = nullptr;                  // reader: byte strings, then the period's output
    CLzwDecodeEntry* m_pDecodeTable = nullptr;           // reader's dictionary, LZW_ENTRY_COUNT entries,
                                                         // in the history's block
    std::uint8_t m_DecodeStack[LZW_DECODE_STACK_SIZE];   // reader: a string that is not in the history
    UINT m_nNextCode = 0;
    UINT m_nCodeBits = 0;
    BOOL m_bDictAllocated = FALSE;
    BOOL m_bFirstByteTaken = FALSE;
    int m_nCharacter = 0;     // reader: first byte of the string decoded last
    UINT m_nStringCode = 0;   // writer: code of the string matched so far
    UINT m_nOldCode = 0;      // reader: the code read before it
    UINT m_nStackCount = 0;   // reader: decoded bytes not yet delivered
    // Reader: at a dictionary period's start, after its first byte, in the period.
    enum class ReadState { PeriodStart, FirstByte, InPeriod };
    ReadState m_nReadState = ReadState::PeriodStart;

    std::uint64_t m_nProgressMark = 0;   // writer: next multiple of 1000 a data code may report

    // Reader: where the bytes not yet delivered wait, and the history of the period.
    const std::uint8_t* m_pPending = nullptr;
    UINT m_nHistoryEnd = 0;   // bytes used in m_pHistory
    UINT m_nOldPos = 0;       // history position of the old code's string, if it is there
    BOOL m_bOldInHistory = FALSE;
    BOOL m_bDamagePending = FALSE;   // the entry table is full: damaged once the bytes are out
};
