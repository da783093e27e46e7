// The LZW writer's and reader's dictionaries.
//
// Writer: CLzwEncodeTable knows which strings have codes.  Its keys cut every string
// into levels: the first seven bytes, then five bytes at a time.  A string of up to
// seven bytes is keyed by its bytes; a longer one by the code of its prefix that ends
// at the last level boundary (7, 12, 17 ... bytes) and the one to five bytes after it.
// So from a level boundary the keys of the strings one to five (at the start seven)
// bytes longer are all known at once, and no lookup waits for another's result, as in
// a chain of (code, byte) lookups.  Every prefix of a known string is known, so the
// first lookup that misses ends the match.  8-byte strings are also indexed by their
// raw bytes, so the first round tells a 7-byte match from a longer one.  The codes assigned depend only
// on the strings and the order they are met, so the table's layout never shows in
// the file.
//
// Key (64 bits): bits 56..59 the byte count m after the level boundary, bit 60 set
// past the first level; first level: bytes in bits 0..55, first byte lowest; later
// levels: bytes in bits 0..39 and the boundary's code in bits 40..54.
//
// 2-byte strings sit in a direct table indexed by their two bytes.  The other keys
// live in 4096 groups of 15 slots, one cache line per group holding a 16-bit tag and
// the code of each slot; a lookup compares the group's tags at once (SSE2, or AVX2
// where the processor has it) and takes the code from the same line.  A known key
// always matches its own tag, so no match is a sure miss (unless the group overflowed
// into the next); a match is confirmed by the key recorded for the code, and the
// writer confirms only the one code it uses.
//
// Reader: CLzwDecodeEntry records where a code's string first appeared in the
// reader's history of the current dictionary period, so decoding a code is one copy
// of earlier output.  Entries whose string is not in the history (the history is
// full) keep their parent code and last byte and are decoded by walking the chain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <immintrin.h>

constexpr unsigned LZW_KEY_SHIFT = 56;
constexpr std::uint64_t LZW_KEY_LEVEL = std::uint64_t {1} << 60;
constexpr unsigned LZW_FIRST_LEVEL_BYTES = 7;
constexpr unsigned LZW_LEVEL_BYTES = 5;

class CLzwEncodeTable {
public:
    static constexpr int GROUP_BITS = 12;
    static constexpr std::uint32_t GROUPS = 1u << GROUP_BITS;
    static constexpr std::uint32_t GROUP_SLOTS = 15;
    static constexpr std::uint32_t CODES = 32768;
    static constexpr std::uint32_t BYTES8_LIMIT = 16384;

    // Forgets every string; single bytes stay known.
    void Clear()
    {
        std::memset(m_Groups, 0, sizeof m_Groups);
        std::memset(m_Pairs, 0, sizeof m_Pairs);
        m_nBytes8Left = BYTES8_LIMIT;
        for (std::uint32_t b = 0; b < 256; ++b)
            m_KeyOf[b] = b | std::uint64_t {1} << LZW_KEY_SHIFT;
    }

    // Key of the first m bytes of w as a first-level string.
    static std::uint64_t FirstKey(std::uint64_t w, unsigned m)
    {
        return (w & ((std::uint64_t {1} << (8 * m)) - 1)) | std::uint64_t {m} << LZW_KEY_SHIFT;
    }
    // Key of the string `base` (at a level boundary) followed by the first m bytes of w.
    static std::uint64_t LevelKey(std::uint64_t w, unsigned m, std::uint32_t base)
    {
        return (w & ((std::uint64_t {1} << (8 * m)) - 1)) | std::uint64_t {base} << 40
               | std::uint64_t {m} << LZW_KEY_SHIFT | LZW_KEY_LEVEL;
    }

    // Key of the string `code` extended by byte `c`.
    std::uint64_t ExtendKey(std::uint32_t code, std::uint32_t c) const
    {
        std::uint64_t k = m_KeyOf[code];
        unsigned m = static_cast<unsigned>(k >> LZW_KEY_SHIFT) & 15;
        unsigned limit = (k & LZW_KEY_LEVEL) ? LZW_LEVEL_BYTES : LZW_FIRST_LEVEL_BYTES;
        if (m < limit)
            return k + (std::uint64_t {c} << (8 * m)) + (std::uint64_t {1} << LZW_KEY_SHIFT);
        return LevelKey(c, 1, code);
    }
    // The string `code` ends at a level boundary.
    bool AtBoundary(std::uint32_t code) const
    {
        std::uint64_t k = m_KeyOf[code];
        unsigned m = static_cast<unsigned>(k >> LZW_KEY_SHIFT) & 15;
        return m == ((k & LZW_KEY_LEVEL) ? LZW_LEVEL_BYTES : LZW_FIRST_LEVEL_BYTES);
    }

    // Code of the string with this key, 0 when it is unknown.
    std::uint32_t Find(std::uint64_t key) const
    {
        if ((key >> LZW_KEY_SHIFT) == 2)
            return m_Pairs[key & 0xFFFF];
        return FindHashed(key);
    }
    std::uint32_t FindPair(std::uint32_t twoBytes) const { return m_Pairs[twoBytes]; }

    // Looks up any key but a first-level 2-byte one, exactly.
    std::uint32_t FindHashed(std::uint64_t key) const
    {
        const std::uint64_t h = Hash(key);
        unsigned match;
        const std::uint32_t code = ProbeHash(h, match);
        if (__builtin_expect(Overflowed(h) || (code != 0 && m_KeyOf[code] != key), 0))
            return FindSlow(key);
        return code;
    }

    // A quick look at the home group of the key hashed to h: the code of the first
    // slot whose tag matches, 0 when none does (the spare slot 15), and in match the
    // tag matches (0: a miss) ahead of the code's load.  A 0 is exact unless the group
    // has Overflowed; a code still needs Confirm, since another key may share its tag.
    std::uint32_t ProbeHash(std::uint64_t h, unsigned& match) const
    {
        const char* group = GroupOf(h);
        const __m128i tag = _mm_set1_epi16(static_cast<short>(Tag(h)));
        const __m128i a = _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(group)), tag);
        const __m128i b = _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(group + 16)), tag);
        match = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
        const std::size_t j = static_cast<unsigned>(__builtin_ctz(match | 0x8000u));
        std::uint16_t code;
        std::memcpy(&code, group + offsetof(Group, nCode) + 2 * j, 2);
        return code;
    }
    // ProbeHash with AVX2: one 256-bit compare covers the group's 16 words, and the
    // mask's two bits per word make the first match's bit number the code's byte offset.
    __attribute__((target("avx2,bmi"))) std::uint32_t ProbeHashWide(std::uint64_t h, unsigned& match) const
    {
        const char* group = GroupOf(h);
        const __m256i tag = _mm256_set1_epi16(static_cast<short>(Tag(h)));
        match = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(group)), tag)));
        const std::size_t offset = static_cast<unsigned>(__builtin_ctz(match | 0x40000000u));
        std::uint16_t code;
        std::memcpy(&code, group + offsetof(Group, nCode) + offset, 2);
        return code;
    }
    // Only the tag matches of ProbeHash and ProbeHashWide: whether a string may be
    // known, without loading its code.  The writer looks at several strings in a row
    // and loads the code of the one it takes only.
    unsigned MatchHash(std::uint64_t h) const
    {
        const char* group = GroupOf(h);
        const __m128i tag = _mm_set1_epi16(static_cast<short>(Tag(h)));
        const __m128i a = _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(group)), tag);
        const __m128i b = _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(group + 16)), tag);
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
    }
    __attribute__((target("avx2,bmi"))) unsigned MatchHashWide(std::uint64_t h) const
    {
        const __m256i tag = _mm256_set1_epi16(static_cast<short>(Tag(h)));
        return static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_cmpeq_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(GroupOf(h))), tag)));
    }
    bool Confirm(std::uint32_t code, std::uint64_t key) const { return m_KeyOf[code] == key; }
    static std::uint64_t Hash(std::uint64_t key) { return key * 0x9E3779B97F4A7C15ull; }
    // The second index: an 8-byte first-level string (keyed as its 7-byte prefix's code
    // plus one byte) is also found by its raw bytes, under this hash.
    static std::uint64_t HashBytes8(std::uint64_t w) { return (w ^ 0x5851F42D4C957F2Dull) * 0xD6E8FEB86659FD93ull; }
    bool ConfirmBytes8(std::uint32_t code7, std::uint32_t code8, std::uint64_t w) const
    {
        return m_KeyOf[code7] == FirstKey(w, 7) && m_KeyOf[code8] == LevelKey(w >> 56, 1, code7);
    }
    // The second index holds every 8-byte string of this period.  It takes at most
    // BYTES8_LIMIT, so that with all codes the groups keep free slots.
    bool Bytes8Complete() const { return m_nBytes8Left > 0; }
    bool Overflowed(std::uint64_t h) const
    {
        std::uint16_t flag;
        std::memcpy(&flag, GroupOf(h) + offsetof(Group, nOverflow), 2);
        return flag != 0;
    }

    // Records a new string (not known before) under `code`.
    void Insert(std::uint64_t key, std::uint32_t code)
    {
        if ((key >> LZW_KEY_SHIFT) == 2) {
            m_KeyOf[code] = key;
            m_Pairs[key & 0xFFFF] = static_cast<std::uint16_t>(code);
            return;
        }
        InsertHashed(key, Hash(key), code);
    }
    // Insert for a key that does not go to the pair table, with its hash.
    void InsertHashed(std::uint64_t key, std::uint64_t h, std::uint32_t code)
    {
        m_KeyOf[code] = key;
        Place(h, code);
        if ((key >> LZW_KEY_SHIFT) == (LZW_KEY_LEVEL >> LZW_KEY_SHIFT | 1)) {
            // One byte past a level boundary: if that is the 7-byte first level, the
            // string has 8 bytes and goes into the second index too.
            const std::uint64_t base = m_KeyOf[(key >> 40) & 0x7FFF];
            if ((base >> LZW_KEY_SHIFT) == LZW_FIRST_LEVEL_BYTES && m_nBytes8Left > 0) {
                --m_nBytes8Left;   // at 0 the index is incomplete: Bytes8Complete turns false
                if (m_nBytes8Left > 0)
                    Place(HashBytes8((base & 0x00FFFFFFFFFFFFFFull) | (key & 0xFF) << 56), code);
            }
        }
    }

private:
    struct alignas(64) Group {
        std::uint16_t nTag[GROUP_SLOTS];   // 0: free; else bit 15 set
        std::uint16_t nOverflow;           // some key of this group went on to the next
        std::uint16_t nCode[16];           // nCode[15] stays 0
    };

    // The group of a hash: its top 12 bits, as a byte offset into the group array.
    const char* GroupOf(std::uint64_t h) const
    {
        return reinterpret_cast<const char*>(m_Groups) + ((h >> (64 - GROUP_BITS - 6)) & ~std::uint64_t {63});
    }
    // Puts a code into the first group from the hash's own that has a free slot.
    void Place(std::uint64_t h, std::uint32_t code)
    {
        std::uint32_t g = static_cast<std::uint32_t>(h >> (64 - GROUP_BITS));
        for (;;) {
            Group& group = m_Groups[g];
            const unsigned free = TagMatch(group, 0) & 0x7FFFu;   // word 15 is the overflow flag
            if (__builtin_expect(free != 0, 1)) {
                const unsigned j = static_cast<unsigned>(__builtin_ctz(free));
                group.nTag[j] = Tag(h);
                group.nCode[j] = static_cast<std::uint16_t>(code);
                return;
            }
            group.nOverflow = 1;
            g = (g + 1) & (GROUPS - 1);
        }
    }
    static std::uint16_t Tag(std::uint64_t h) { return static_cast<std::uint16_t>((h >> 36) | 0x8000); }
    // Bit j set for each of the 16 tag words equal to `tag`.
    static unsigned TagMatch(const Group& group, std::uint16_t tag)
    {
        const __m128i t = _mm_set1_epi16(static_cast<short>(tag));
        const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(group.nTag));
        const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(group.nTag + 8));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(a, t), _mm_cmpeq_epi16(b, t))));
    }
    std::uint32_t FindSlow(std::uint64_t key) const
    {
        const std::uint64_t h = Hash(key);
        std::uint32_t g = static_cast<std::uint32_t>(h >> (64 - GROUP_BITS));
        for (;;) {
            const Group& group = m_Groups[g];
            for (unsigned match = TagMatch(group, Tag(h)) & 0x7FFFu; match; match &= match - 1) {
                std::uint32_t code = group.nCode[__builtin_ctz(match)];
                if (m_KeyOf[code] == key)
                    return code;
            }
            if (!group.nOverflow)
                return 0;
            g = (g + 1) & (GROUPS - 1);
        }
    }

    Group m_Groups[GROUPS];
    std::uint32_t m_nBytes8Left = BYTES8_LIMIT;   // entries the second index may still take
    std::uint16_t m_Pairs[65536];
    std::uint64_t m_KeyOf[CODES];   // key each code was recorded under
};

// One reader dictionary entry.
struct CLzwDecodeEntry {
    std::uint32_t nPos;      // history position of the string, or LZW_NOT_IN_HISTORY | last byte
    std::uint16_t nLength;   // string length
    std::uint16_t nParent;   // code of the string without its last byte
};
constexpr std::uint32_t LZW_NOT_IN_HISTORY = 0x80000000u;
