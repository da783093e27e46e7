// The bit writer and bit reader every coded stream goes through.
//
// Bit order: most significant bit first.  A code's bits go out from its highest bit
// down, and fill each payload byte from bit 7 down; the reader takes them back in the
// same order.
//
// Each has a fast path and a safe path.  The fast path keeps its state in the caller's
// locals (a hot loop copies CBitWriter or CBitReader out of the stream and back, so
// that its byte stores cannot alias the state) and checks no bounds: the caller has
// proven the room first.  The safe path is CCompressedFile's (PutBits, PeekBits,
// SkipBits): it flushes or fills the transfer buffer as needed and handles the end of
// the file.  Both work on the same state, so a loop may take either at any code.
#pragma once

#include "platform/Types.h"

#include <cstdint>
#include <cstring>

// Writer state: pOut[0..nFilled) are completed bytes; the nCount (0 to 7 between
// codes) pending bits wait right-aligned in nAcc, whose higher bits are stale.
struct CBitWriter {
    // Bytes the fast path needs free behind nFilled.
    static constexpr UINT FAST_ROOM = 8;

    std::uint8_t* pOut;
    UINT nFilled;
    std::uint64_t nAcc;
    UINT nCount;

    // Fast path: appends the low `bits` (1 to 32) of `code`, which has no bits above
    // them.  The caller has proven nFilled + FAST_ROOM <= the buffer's size: eight
    // bytes are stored, and only the ones completed are kept (the rest is scratch that
    // later codes overwrite).
    __attribute__((always_inline)) void PutFast(UINT code, UINT bits)
    {
        nAcc = nAcc << bits | code;
        nCount += bits;
        const std::uint64_t top = __builtin_bswap64(nAcc << (64 - nCount));
        std::memcpy(pOut + nFilled, &top, 8);
        nFilled += nCount >> 3;
        nCount &= 7;
    }
};

// Reader state: a 64-bit window, next bit at bit 63, zero below its nBits valid bits.
// Past the end of the file the window is filled with 1 bits, counted in nPadBits; a
// code that takes one of them sets bPastEnd.
struct CBitReader {
    std::uint64_t nAcc = 0;
    int nBits = 0;
    int nPadBits = 0;
    bool bPastEnd = false;

    // The next `bits` (1 to 32) bits; the caller has refilled when nBits < bits.
    UINT Peek(int bits) const { return static_cast<UINT>(nAcc >> (64 - bits)); }
    void Skip(int bits)
    {
        nAcc <<= bits;
        nBits -= bits;
        if (nBits < nPadBits) {
            bPastEnd = true;
            nPadBits = nBits;
        }
    }
    // Skips bits that may lie past the end of the file without counting that as a
    // read past the end (bits the writer leaves unstored).
    void SkipUnstored(int bits)
    {
        nAcc <<= bits;
        nBits -= bits;
        if (nPadBits > nBits)
            nPadBits = nBits > 0 ? nBits : 0;
    }
    // Real bits (not pad) in the window.
    int RealBits() const { return nBits > nPadBits ? nBits - nPadBits : 0; }

    // Fast refill, for a window of at most 56 bits: takes the whole bytes that fit from
    // `in`, where the caller has proven eight readable bytes of the file; returns how
    // many it took (the window then holds 57 to 64 bits).
    __attribute__((always_inline)) UINT RefillFast(const std::uint8_t* in)
    {
        std::uint64_t word;
        std::memcpy(&word, in, 8);
        word = __builtin_bswap64(word);
        const UINT take = static_cast<UINT>(64 - nBits) >> 3;
        nAcc |= word >> nBits;
        nBits += static_cast<int>(take * 8);
        if (nBits < 64)
            nAcc &= ~std::uint64_t {0} << (64 - nBits);
        return take;
    }
    // Careful refill, one byte: a byte of the file, or -1 past its end (eight 1 bits
    // that count as pad).  The caller stops once nBits > 56.
    void PushByte(int byte)
    {
        if (byte < 0) {
            byte = 0xFF;
            nPadBits += 8;
        }
        nAcc |= std::uint64_t(byte) << (56 - nBits);
        nBits += 8;
    }
};
