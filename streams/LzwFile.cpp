#include "streams/LzwFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <sys/mman.h>

namespace {

// Reader history layout: the 256 one-byte strings, the string of code 256 (two zero
// bytes: the entries 256..258 are never defined and read as parent 0, byte 0), then
// the output of the current dictionary period.
constexpr UINT HISTORY_BASE = 264;
// Copies run in 16-byte blocks and may read and write up to 15 bytes past a string's
// end: room behind the history, before the entry table.
constexpr UINT HISTORY_SLACK = 64;
// The reader's block: the history, then the entry table.
constexpr std::size_t DECODE_TABLE_OFFSET = LZW_HISTORY_SIZE + HISTORY_SLACK;
constexpr std::size_t DECODE_BLOCK_SIZE = DECODE_TABLE_OFFSET + LZW_ENTRY_COUNT * sizeof(CLzwDecodeEntry);
// The history position stored in an entry fits in 31 bits.
static_assert(LZW_HISTORY_SIZE < LZW_NOT_IN_HISTORY);

// The coders' tables are read at random, several lines per input string: on 2 MB
// pages (where the system grants them) they need no TLB misses.
void* AllocTableMemory(std::size_t size)
{
    constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
    size = (size + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
    void* p = std::aligned_alloc(HUGE_PAGE, size);
    if (p)
        madvise(p, size, MADV_HUGEPAGE);   // a refusal only costs speed
    return p;
}

// Each thread keeps the tables of its last closed LZW writer and reader for the next
// stream it opens: a batch of small files then neither allocates nor faults in fresh
// pages per file.  Per thread, so worker threads never share one.
struct LzwTableCache {
    void* pEncode = nullptr;
    std::uint8_t* pDecode = nullptr;
    ~LzwTableCache()
    {
        std::free(pEncode);
        std::free(pDecode);
    }
};
thread_local LzwTableCache t_tableCache;

inline void Copy16(std::uint8_t* dst, const std::uint8_t* src)
{
    std::uint8_t block[16];
    std::memcpy(block, src, 16);
    std::memcpy(dst, block, 16);
}

} // namespace

CLzwFile::~CLzwFile()
{
    FreeDictionary();
}

BOOL CLzwFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    m_nMethod = METHOD_LZW;
    m_bFirstByteTaken = FALSE;   // the decode stack is always written before it is read
    m_nNextCode = m_nCodeBits = m_nWidenLimit = 0;
    m_nCharacter = 0;
    m_nReadState = ReadState::PeriodStart;
    m_nStringCode = 0;
    m_nOldCode = 0;
    m_nStackCount = 0;
    m_nPendingBits = 0;
    m_nPendingCount = 0;
    m_nProgressMark = 0;
    m_pPending = nullptr;
    m_nHistoryEnd = HISTORY_BASE;
    m_nOldPos = 0;
    m_bOldInHistory = FALSE;
    m_bDamagePending = FALSE;

    AllocDictionary(openFlags != OPEN_READ);
    if (!m_bDictAllocated)
        return FALSE;
    ResetDictionary();
    return OpenShared(fileName, openFlags, error);
}

// ---- dictionary ------------------------------------------------------------------

void CLzwFile::AllocDictionary(BOOL forWriting)
{
    FreeDictionary();
    LzwTableCache& cache = t_tableCache;
    if (forWriting) {
        void* block = cache.pEncode ? cache.pEncode : AllocTableMemory(sizeof(CLzwEncodeTable));
        cache.pEncode = nullptr;
        if (!block)
            return;
        m_pEncodeTable = new (block) CLzwEncodeTable;   // ResetDictionary clears what is read
    } else {
        m_pHistory = cache.pDecode ? cache.pDecode : static_cast<std::uint8_t*>(AllocTableMemory(DECODE_BLOCK_SIZE));
        cache.pDecode = nullptr;
        if (!m_pHistory)
            return;
        // Only the byte strings and entries 0..258 are read before they are written.
        std::memset(m_pHistory, 0, HISTORY_BASE);
        m_pDecodeTable = reinterpret_cast<CLzwDecodeEntry*>(m_pHistory + DECODE_TABLE_OFFSET);
        for (UINT b = 0; b < 256; ++b) {
            m_pHistory[b] = static_cast<std::uint8_t>(b);
            m_pDecodeTable[b] = {b, 1, 0};
        }
        for (UINT code = LZW_END_OF_DATA; code < LZW_FIRST_FREE; ++code)
            m_pDecodeTable[code] = {256, 2, 0};
    }
    m_bDictAllocated = TRUE;
}

// Hands the tables to this thread's cache, or frees them when it holds some already.
void CLzwFile::FreeDictionary()
{
    LzwTableCache& cache = t_tableCache;
    if (m_pEncodeTable) {
        m_pEncodeTable->~CLzwEncodeTable();
        if (cache.pEncode)
            std::free(m_pEncodeTable);
        else
            cache.pEncode = m_pEncodeTable;
    }
    m_pEncodeTable = nullptr;
    if (m_pHistory) {   // the entry table lies in the same block
        if (cache.pDecode)
            std::free(m_pHistory);
        else
            cache.pDecode = m_pHistory;
    }
    m_pHistory = nullptr;
    m_pDecodeTable = nullptr;
    m_bDictAllocated = FALSE;
}

void CLzwFile::ResetDictionary()
{
    if (m_pEncodeTable)
        m_pEncodeTable->Clear();
    m_nHistoryEnd = HISTORY_BASE;
    m_nNextCode = LZW_FIRST_FREE;
    m_nCodeBits = 9;
    m_nWidenLimit = 511;
}

// ---- writer ------------------------------------------------------------------------

void CLzwFile::WriteData(const void* data, UINT count)
{
    if (!m_bOpen || !m_bWriting || !m_pEncodeTable)
        return;
    if (count > std::numeric_limits<UINT>::max() - m_nOriginalSize)
        throw CFileException(CFileException::invalidFile, EFBIG, m_szFileName,
                             "data too large for the format (4 GiB) while writing");
    m_nOriginalSize += count;
    if (count == 0)
        return;
    const auto* in = static_cast<const std::uint8_t*>(data);
    UINT p = 0;
    if (!m_bFirstByteTaken) {
        m_nStringCode = in[0];
        m_bFirstByteTaken = TRUE;
        p = 1;
    }
    m_nProgressMark = 0;
    EncodeFrom(in, p, count);
}

// Codes data[p..count) onto the string matched so far.  From a level boundary with
// at least eight bytes left, the strings up to one level longer are all looked up at
// once; near the end of the data, and inside a level (the string carried over from
// the previous call), one byte per lookup.  The hot state lives in locals while the
// loop runs: byte stores into the transfer buffer could otherwise alias every member.
template <bool WIDE>
__attribute__((always_inline)) inline void CLzwFile::EncodeLoop(const std::uint8_t* in, UINT p, UINT count)
{
    CLzwEncodeTable& table = *m_pEncodeTable;
    std::uint8_t* const buffer = m_pBuffer;
    UINT s = m_nStringCode;
    UINT next = m_nNextCode;
    UINT bits = m_nCodeBits;
    UINT widenLimit = m_nWidenLimit;
    std::uint32_t pending = m_nPendingBits;
    UINT pendingCount = static_cast<UINT>(m_nPendingCount);
    UINT filled = m_nBufCount;   // bytes in the transfer buffer; m_nBufIndex is the same
    std::uint64_t progressMark = m_nProgressMark;

    const auto store = [&] {
        m_nCompressedSize += filled - m_nBufCount;
        m_nBufIndex = m_nBufCount = filled;
        m_nPendingBits = pending;
        m_nPendingCount = static_cast<int>(pendingCount);
        m_nNextCode = next;
        m_nCodeBits = bits;
        m_nWidenLimit = widenLimit;
        m_nProgressMark = progressMark;
    };
    // Writes a code at the current width: at most two bytes complete, so four bytes
    // are stored and the completed ones kept.  Near the end of the buffer the base
    // takes whole bytes, flushing (and reporting) when the byte after a full buffer comes.
    const auto put = [&](UINT code) {
        pending = (pending << bits) | code;
        pendingCount += bits;
        if (__builtin_expect(filled <= COMPRESSED_BUFFER_SIZE - 4, 1)) {
            const std::uint32_t top = __builtin_bswap32(pending << (32 - pendingCount));
            std::memcpy(buffer + filled, &top, 4);
            filled += pendingCount >> 3;
            pendingCount &= 7;
            pending &= (1u << pendingCount) - 1;
        } else {
            store();
            PutCodeSlow();
            filled = m_nBufCount;
            pending = m_nPendingBits;
            pendingCount = static_cast<UINT>(m_nPendingCount);
        }
    };
    // A data code emitted at position pos, after the progress report it may owe.
    const auto emit = [&](UINT code, UINT pos) {
        if (__builtin_expect(pos >= progressMark, 0)) {
            store();
            PassProgressMark(pos);
            progressMark = m_nProgressMark;
        }
        put(code);
    };
    // After the next code was given to a string: widen, or reset after code 32767.
    const auto widenOrReset = [&] {
        put(next > LZW_MAX_CODE ? LZW_RESET : LZW_WIDEN);
        if (next > LZW_MAX_CODE) {
            table.Clear();
            next = LZW_FIRST_FREE;
            bits = 9;
            widenLimit = 511;
        } else {
            ++bits;
            widenLimit = 2 * widenLimit + 1;
        }
    };
    const auto advance = [&] {
        if (__builtin_expect(++next > widenLimit, 0))
            widenOrReset();
    };

    const auto probeHash = [&table](std::uint64_t h, unsigned& match) {
        if constexpr (WIDE)
            return table.ProbeHashWide(h, match);
        else
            return table.ProbeHash(h, match);
    };
    const auto codeOf = [&probeHash](std::uint64_t h) {
        unsigned match;
        return probeHash(h, match);
    };
    const auto probe = [&codeOf](std::uint64_t key) { return codeOf(CLzwEncodeTable::Hash(key)); };
    const auto matchHash = [&table](std::uint64_t h) {
        if constexpr (WIDE)
            return table.MatchHashWide(h);
        else
            return table.MatchHash(h);
    };
    const auto match = [&matchHash](std::uint64_t key) { return matchHash(CLzwEncodeTable::Hash(key)); };

    enum { INNER, FRESH, BOUNDARY } mode = INNER;   // FRESH: s is the single byte in[p - 1]
    while (p < count) {
        if (mode == FRESH && count - p >= 7) {
            // The first level of the string that starts at i: its 2- to 7-byte prefixes.
            // Tag matches tell how far the string may be known; only the code of the
            // string taken is loaded then.
            const UINT i = p - 1;
            std::uint64_t w;
            std::memcpy(&w, in + i, 8);
            const std::uint64_t h8 = CLzwEncodeTable::HashBytes8(w);
            const UINT pair = table.FindPair(static_cast<UINT>(w & 0xFFFF));
            const unsigned m3 = match(CLzwEncodeTable::FirstKey(w, 3));
            const unsigned m4 = match(CLzwEncodeTable::FirstKey(w, 4));
            const unsigned m5 = match(CLzwEncodeTable::FirstKey(w, 5));
            const unsigned m6 = match(CLzwEncodeTable::FirstKey(w, 6));
            const unsigned m7 = match(CLzwEncodeTable::FirstKey(w, 7));
            const unsigned m8 = matchHash(h8);
            // An incomplete 8-byte index counts as a hit: the level round then decides.
            const bool complete8 = table.Bytes8Complete();
            // The first miss ends the match: a confirmed code before it and a sure miss
            // (in a group that never overflowed) make it exact.  Misses from the longest
            // down, so that the shortest one decides (plain selects, no branches).
            UINT length = 8;
            length = (m8 != 0 || !complete8) ? length : 7;
            length = m7 ? length : 6;
            length = m6 ? length : 5;
            length = m5 ? length : 4;
            length = m4 ? length : 3;
            length = m3 ? length : 2;
            length = pair ? length : 1;
            if (length == 8) {
                // Eight bytes or more: go on from the 7-byte string's level boundary.
                const std::uint64_t key7 = CLzwEncodeTable::FirstKey(w, 7);
                const UINT code7 = probe(key7);
                if (__builtin_expect(complete8 ? !table.ConfirmBytes8(code7, codeOf(h8), w)
                                               : !table.Confirm(code7, key7), 0)) {
                    mode = INNER;
                    continue;
                }
                s = code7;
                p = i + LZW_FIRST_LEVEL_BYTES;
                mode = BOUNDARY;
                continue;
            }
            const std::uint64_t known = CLzwEncodeTable::FirstKey(w, length);
            const UINT code = length == 1 ? in[i] : length == 2 ? pair : probe(known);
            if (__builtin_expect(length > 1 && !table.Confirm(code, known), 0)) {
                mode = INNER;   // a tag shared by another key: take this string byte by byte
                continue;
            }
            const std::uint64_t key = length < LZW_FIRST_LEVEL_BYTES ? CLzwEncodeTable::FirstKey(w, length + 1)
                                                                     : CLzwEncodeTable::LevelKey(w >> 56, 1, code);
            const std::uint64_t h = CLzwEncodeTable::Hash(key);
            if (length > 1 && __builtin_expect(table.Overflowed(length < LZW_FIRST_LEVEL_BYTES ? h : h8), 0)) {
                mode = INNER;   // the miss may lie in the next group
                continue;
            }
            p = i + length;
            emit(code, p);
            if (length > 1)
                table.InsertHashed(key, h, next);
            else
                table.Insert(key, next);
            advance();
            s = in[p];
            ++p;
            continue;
        }
        if (mode == BOUNDARY && count - p >= 8) {
            // The next level: the strings s + 1 to 5 following bytes.
            std::uint64_t w;
            std::memcpy(&w, in + p, 8);
            const unsigned m1 = match(CLzwEncodeTable::LevelKey(w, 1, s));
            const unsigned m2 = match(CLzwEncodeTable::LevelKey(w, 2, s));
            const unsigned m3 = match(CLzwEncodeTable::LevelKey(w, 3, s));
            const unsigned m4 = match(CLzwEncodeTable::LevelKey(w, 4, s));
            const unsigned m5 = match(CLzwEncodeTable::LevelKey(w, 5, s));
            UINT more = 5;
            more = m5 ? more : 4;
            more = m4 ? more : 3;
            more = m3 ? more : 2;
            more = m2 ? more : 1;
            more = m1 ? more : 0;
            UINT code = s;
            if (more > 0) {
                const std::uint64_t known = CLzwEncodeTable::LevelKey(w, more, s);
                code = probe(known);
                if (__builtin_expect(!table.Confirm(code, known), 0)) {
                    mode = INNER;
                    continue;
                }
            }
            if (more == LZW_LEVEL_BYTES) {
                s = code;
                p += LZW_LEVEL_BYTES;
                continue;
            }
            const std::uint64_t key = CLzwEncodeTable::LevelKey(w, more + 1, s);
            const std::uint64_t h = CLzwEncodeTable::Hash(key);
            if (__builtin_expect(table.Overflowed(h), 0)) {
                mode = INNER;
                continue;
            }
            p += more;
            emit(code, p);
            table.InsertHashed(key, h, next);
            advance();
            s = in[p];
            ++p;
            mode = FRESH;
            continue;
        }
        // One byte.
        const std::uint64_t key = table.ExtendKey(s, in[p]);
        const UINT code = table.Find(key);
        if (code) {
            s = code;
            ++p;
            mode = table.AtBoundary(s) ? BOUNDARY : INNER;
            continue;
        }
        emit(s, p);
        table.Insert(key, next);
        advance();
        s = in[p];
        ++p;
        mode = FRESH;
    }
    m_nStringCode = s;
    store();
}

bool g_bLzwWideProbes = true;

// The writer's loop built twice: with AVX2 probes where the processor has AVX2, and
// with SSE2 probes everywhere else.  Both give the same codes.
__attribute__((target("avx2,bmi"), flatten)) void CLzwFile::EncodeFromWide(const std::uint8_t* in, UINT p, UINT count)
{
    EncodeLoop<true>(in, p, count);
}

__attribute__((flatten)) void CLzwFile::EncodeFromPortable(const std::uint8_t* in, UINT p, UINT count)
{
    EncodeLoop<false>(in, p, count);
}

void CLzwFile::EncodeFrom(const std::uint8_t* in, UINT p, UINT count)
{
    static const bool hasAvx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
    if (hasAvx2 && g_bLzwWideProbes)
        EncodeFromWide(in, p, count);
    else
        EncodeFromPortable(in, p, count);
}

void CLzwFile::PassProgressMark(UINT p)
{
    std::uint64_t mark = (std::uint64_t{p} + 999) / 1000 * 1000;
    if (mark == p) {
        if (g_pfnProgress)
            g_pfnProgress(p);
        mark += 1000;
    }
    m_nProgressMark = mark;
}

// Writes the pending bits' completed bytes through the base.
void CLzwFile::PutCodeSlow()
{
    while (m_nPendingCount >= 8) {
        m_nPendingCount -= 8;
        PutBits((m_nPendingBits >> m_nPendingCount) & 0xFF, 8);
    }
    m_nPendingBits &= (1u << m_nPendingCount) - 1;
}

void CLzwFile::Close()
{
    if (!m_bOpen)
        return;
    if (m_nOpenFlags != OPEN_READ && m_bWriting) {
        for (UINT code : {m_nStringCode, LZW_END_OF_DATA}) {
            m_nPendingBits = (m_nPendingBits << m_nCodeBits) | code;
            m_nPendingCount += static_cast<int>(m_nCodeBits);
            PutCodeSlow();
        }
        // The last incomplete byte goes to the base, which does not store it.
        if (m_nPendingCount)
            PutBits(m_nPendingBits, m_nPendingCount);
        m_nPendingBits = 0;
        m_nPendingCount = 0;
    }
    CloseBase(TRUE);    // the header gets its sizes
    FreeDictionary();   // to the cache for the next stream; Open takes it back
}

// ---- reader ------------------------------------------------------------------------

UINT CLzwFile::Read(void* buffer, UINT count)
{
    if (!m_bOpen || !m_bReading || !m_pDecodeTable || IsDamaged() || RanPastEnd())
        return 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    UINT n = 0;
    while (n < count) {
        if (m_nStackCount > 0) {
            UINT take = count - n < m_nStackCount ? count - n : m_nStackCount;
            std::memcpy(out + n, m_pPending, take);
            m_pPending += take;
            m_nStackCount -= take;
            n += take;
            continue;
        }
        if (m_bDamagePending) {
            SetDamaged();
            return n;
        }
        if (m_nReadState == ReadState::PeriodStart) {
            // Start of a dictionary period: the first code is a byte.
            m_nReadState = ReadState::FirstByte;
            ResetDictionary();
            m_bOldInHistory = FALSE;
            m_nOldCode = InputBits(static_cast<int>(m_nCodeBits));
            if (RanPastEnd())
                return n;
            if (m_nOldCode == LZW_END_OF_DATA)
                return n;   // code 256 stands as the old code if reading goes on
            if (m_nOldCode > 255) {
                SetDamaged();
                return n;
            }
            m_nCharacter = static_cast<int>(m_nOldCode);
            m_pHistory[m_nHistoryEnd] = static_cast<std::uint8_t>(m_nOldCode);
            m_nOldPos = m_nHistoryEnd;
            m_bOldInHistory = TRUE;
            m_pPending = m_pHistory + m_nHistoryEnd;
            m_nStackCount = 1;
            ++m_nHistoryEnd;
            continue;
        }
        if (RanPastEnd())
            return n;
        m_nReadState = ReadState::InPeriod;
        if (DecodeFast(count - n) > 0)
            continue;
        const UINT code = InputBits(static_cast<int>(m_nCodeBits));
        if (RanPastEnd())
            return n;
        if (code == LZW_END_OF_DATA)
            return n;
        if (code == LZW_RESET) {
            m_nReadState = ReadState::PeriodStart;
            continue;
        }
        if (code == LZW_WIDEN) {
            if (m_nCodeBits >= 15) {
                SetDamaged();
                return n;
            }
            ++m_nCodeBits;
            continue;
        }
        if (!DecodeCode(code)) {
            SetDamaged();
            return n;
        }
    }
    return n;
}

bool CLzwFile::ReadEndCode()
{
    if (!m_bOpen || !m_bReading || !m_pDecodeTable || IsDamaged() || RanPastEnd() || m_nStackCount > 0)
        return false;
    if (m_bDamagePending) {
        SetDamaged();
        return false;
    }
    if (m_nReadState == ReadState::PeriodStart) {
        // Nothing decoded yet: codes start 9 bits wide, and a writer given no byte
        // at all emits the code 0 before the end code.
        m_nCodeBits = 9;
        if (m_nOriginalSize == 0 && m_nCompressedSize >= 2 && BitsLeft() >= 9 + 1 && PeekBits(9) == 0)
            SkipBits(9);
    }
    return TakeEndCode(LZW_END_OF_DATA, static_cast<int>(m_nCodeBits));
}

// Decodes plain codes straight into the history while fewer than `want` bytes wait
// and every code is defined, not special, its string lies in the history and fits
// behind it.  Anything else is left for DecodeCode.  Returns the bytes decoded.
UINT CLzwFile::DecodeFast(UINT want)
{
    if (!m_bOldInHistory)
        return 0;
    std::uint8_t* const history = m_pHistory;
    CLzwDecodeEntry* const table = m_pDecodeTable;
    const UINT start = m_nHistoryEnd;
    UINT end = start;
    UINT next = m_nNextCode;
    UINT oldPos = m_nOldPos;
    UINT oldLength = table[m_nOldCode].nLength;
    UINT oldCode = m_nOldCode;
    const int bits = static_cast<int>(m_nCodeBits);
    const UINT entryLimit = LZW_ENTRY_COUNT < LZW_MAX_CODE + 1 ? LZW_ENTRY_COUNT : LZW_MAX_CODE + 1;
    while (end - start < want && next < entryLimit) {
        const UINT code = PeekBits(bits);
        if (code >= next || code - LZW_END_OF_DATA < 3)
            break;
        const CLzwDecodeEntry e = table[code];
        if ((e.nPos & LZW_NOT_IN_HISTORY) || e.nLength > LZW_HISTORY_SIZE - end)
            break;
        SkipBits(bits);
        if (RanPastEnd())
            break;
        table[next] = {oldPos, static_cast<std::uint16_t>(oldLength + 1), static_cast<std::uint16_t>(oldCode)};
        ++next;
        const std::uint8_t* src = history + e.nPos;
        std::uint8_t* dst = history + end;
        Copy16(dst, src);
        for (UINT done = 16; done < e.nLength; done += 16)
            Copy16(dst + done, src + done);
        oldPos = end;
        oldLength = e.nLength;
        oldCode = code;
        end += e.nLength;
    }
    if (end == start)
        return 0;
    m_nNextCode = next;
    m_nOldCode = oldCode;
    m_nOldPos = oldPos;
    m_nCharacter = history[oldPos];
    m_nHistoryEnd = end;
    m_pPending = history + start;
    m_nStackCount = end - start;
    return end - start;
}

// Decodes one data code the general way: a code being defined by this very step,
// strings outside the history, a full history, the end of the entry table.  Returns
// FALSE for a code that is not defined.
BOOL CLzwFile::DecodeCode(UINT code)
{
    if (code > m_nNextCode)
        return FALSE;
    const CLzwDecodeEntry* table = m_pDecodeTable;
    const UINT oldLength = table[m_nOldCode].nLength;
    const UINT length = code == m_nNextCode ? oldLength + 1 : table[code].nLength;
    if (length > LZW_DECODE_STACK_SIZE)
        return FALSE;
    const bool toHistory = length <= LZW_HISTORY_SIZE - m_nHistoryEnd;
    std::uint8_t* dst = toHistory ? m_pHistory + m_nHistoryEnd : m_DecodeStack;
    if (code == m_nNextCode) {
        // The string being defined: the old string and its own first byte.
        DecodeString(dst, m_nOldCode);
        dst[oldLength] = static_cast<std::uint8_t>(m_nCharacter);
    } else {
        DecodeString(dst, code);
    }
    m_nCharacter = dst[0];
    if (m_nNextCode >= LZW_ENTRY_COUNT) {
        // No room for the entry: the bytes still go out, then decoding stops.
        m_bDamagePending = TRUE;
    } else {
        CLzwDecodeEntry& e = m_pDecodeTable[m_nNextCode];
        const bool contiguous = m_bOldInHistory && toHistory;
        e.nPos = contiguous ? m_nOldPos : LZW_NOT_IN_HISTORY | dst[0];
        e.nLength = static_cast<std::uint16_t>(oldLength + 1);
        e.nParent = static_cast<std::uint16_t>(m_nOldCode);
        ++m_nNextCode;
    }
    m_nOldCode = code;
    m_bOldInHistory = toHistory;
    m_nOldPos = m_nHistoryEnd;
    if (toHistory)
        m_nHistoryEnd += length;
    m_pPending = dst;
    m_nStackCount = length;
    return TRUE;
}

// Writes the string of `code` (a defined code) to dst: the part that lies in the
// history is copied, the entries behind it give their bytes from the last one back.
void CLzwFile::DecodeString(std::uint8_t* dst, UINT code) const
{
    const CLzwDecodeEntry* table = m_pDecodeTable;
    UINT k = table[code].nLength;
    while (table[code].nPos & LZW_NOT_IN_HISTORY) {
        dst[--k] = static_cast<std::uint8_t>(table[code].nPos);
        code = table[code].nParent;
    }
    std::memmove(dst, m_pHistory + table[code].nPos, k);
}
