#include "streams/LzwFile.h"

#include "platform/TableMemory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

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

// Each thread keeps the tables of its last closed LZW writer and reader for the next
// stream it opens (platform/TableMemory.h): a batch of small files then neither
// allocates nor faults in fresh pages per file.  Per thread, so worker threads never
// share one.

inline void Copy16(std::uint8_t* dst, const std::uint8_t* src)
{
    std::uint8_t block[16];
    std::memcpy(block, src, 16);
    std::memcpy(dst, block, 16);
}

}   // namespace

CLzwFile::~CLzwFile()
{
    FreeDictionary();
}

BOOL CLzwFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    m_nMethod = METHOD_LZW;
    m_bFirstByteTaken = FALSE;   // the decode stack is always written before it is read
    m_nNextCode = m_nCodeBits = 0;
    m_nCharacter = 0;
    m_nReadState = ReadState::PeriodStart;
    m_nStringCode = 0;
    m_nOldCode = 0;
    m_nStackCount = 0;
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
    ThreadTables* kept = ThreadTableCache();
    ThreadTables none;   // a thread that can keep none allocates afresh
    ThreadTables& cache = kept ? *kept : none;
    if (forWriting) {
        void* block = cache.encode ? cache.encode : AllocTableMemory(sizeof(CLzwEncodeTable));
        cache.encode = nullptr;
        if (!block)
            return;
        m_pEncodeTable = new (block) CLzwEncodeTable;   // ResetDictionary clears what is read
    } else {
        m_pHistory = cache.decode ? static_cast<std::uint8_t*>(cache.decode)
                                  : static_cast<std::uint8_t*>(AllocTableMemory(DECODE_BLOCK_SIZE));
        cache.decode = nullptr;
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

// Hands the tables to this thread's cache, or frees them when it holds some already
// (or can keep none).
void CLzwFile::FreeDictionary()
{
    ThreadTables* cache = ThreadTableCache();
    if (m_pEncodeTable) {
        m_pEncodeTable->~CLzwEncodeTable();
        if (!cache || cache->encode)
            FreeTableMemory(m_pEncodeTable);
        else
            cache->encode = m_pEncodeTable;
    }
    m_pEncodeTable = nullptr;
    if (m_pHistory) {   // the entry table lies in the same block
        if (!cache || cache->decode)
            FreeTableMemory(m_pHistory);
        else
            cache->decode = m_pHistory;
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

// One WriteData call's coding of data[p..count) onto the string matched so far.  From
// a level boundary with at least eight bytes left, the strings up to one level longer
// are looked up without one lookup waiting for another; near the end of the data, and
// inside a level (the string carried over from the previous call), one byte per
// lookup.  Every step is inlined into Run's loop, so the run's members live in
// registers or its own stack slots: as members of the stream, byte stores into the
// transfer buffer could alias them.  They go back to the stream at the end and before
// a progress report.
template <bool WIDE>
class CLzwFile::CEncodeRun {
public:
    CEncodeRun(CLzwFile& file, const std::uint8_t* in, UINT p, UINT count)
        : m_file(file),
          m_table(*file.m_pEncodeTable),
          m_pIn(in),
          m_nPos(p),
          m_nCount(count),
          m_nString(file.m_nStringCode),
          m_nNext(file.m_nNextCode),
          m_nBits(file.m_nCodeBits),
          m_nProgressMark(file.m_nProgressMark),
          m_out(file.LoadWriter())
    {}

    [[gnu::always_inline]] void Run()
    {
        Mode mode = INNER;
        while (m_nPos < m_nCount) {
            if (mode == FRESH && m_nCount - m_nPos >= 7)
                mode = FirstLevel();
            else if (mode == BOUNDARY && m_nCount - m_nPos >= 8)
                mode = NextLevel();
            else
                mode = OneByte();
        }
        Store();
    }

private:
    // What the string matched so far allows next.  FRESH: it is the single byte in[p - 1].
    enum Mode { INNER, FRESH, BOUNDARY };

    // The first level of the string that starts at in[p - 1]: its 2- to 8-byte
    // prefixes.  Only the code of the string taken is loaded.
    [[gnu::always_inline]] Mode FirstLevel()
    {
        const UINT i = m_nPos - 1;
        std::uint64_t w;
        std::memcpy(&w, m_pIn + i, 8);
        const std::uint64_t h8 = CLzwEncodeTable::HashBytes8(w);
        const UINT pair = m_table.FindPair(static_cast<UINT>(w & 0xFFFF));
        const UINT length = FirstLevelLength(w, h8, pair);
        const bool complete8 = m_table.Bytes8Complete();
        if (length == 8)
            return EnterNextLevel(w, h8, complete8);
        const std::uint64_t known = CLzwEncodeTable::FirstKey(w, length);
        const UINT code = length == 1 ? m_pIn[i] : length == 2 ? pair : Probe(known);
        if (__builtin_expect(length > 1 && !m_table.Confirm(code, known), 0))
            return INNER;   // a tag shared by another key: take this string byte by byte
        const std::uint64_t key = length < LZW_FIRST_LEVEL_BYTES ? CLzwEncodeTable::FirstKey(w, length + 1)
                                                                 : CLzwEncodeTable::LevelKey(w >> 56, 1, code);
        const std::uint64_t h = CLzwEncodeTable::Hash(key);
        if (length > 1 && __builtin_expect(m_table.Overflowed(length < LZW_FIRST_LEVEL_BYTES ? h : h8), 0))
            return INNER;   // the miss may lie in the next group
        m_nPos = i + length;
        Emit(code, m_nPos);
        if (length > 1)
            m_table.InsertHashed(key, h, m_nNext);
        else
            m_table.Insert(key, m_nNext);
        return NextString();
    }

    // How many of the 8 bytes in w the tags say may be known (1 to 8).  The first miss
    // ends the match: a confirmed code before it and a sure miss (in a group that never
    // overflowed) make it exact.  An incomplete 8-byte index counts as a hit: the level
    // round then decides.  Tested from the shortest up, each prefix looked up only once
    // the shorter ones are known: no key depends on a lookup, so the processor, taking
    // the likelier way at each test, has the next lookups under way before the test is
    // decided, and a short string costs only its own lookups.  Most strings pass the
    // first tests, whose branches are then the easiest to predict.
    [[gnu::always_inline]] UINT FirstLevelLength(std::uint64_t w, std::uint64_t h8, UINT pair) const
    {
        if (!pair)
            return 1;
        if (!Match(CLzwEncodeTable::FirstKey(w, 3)))
            return 2;
        if (!Match(CLzwEncodeTable::FirstKey(w, 4)))
            return 3;
        if (!Match(CLzwEncodeTable::FirstKey(w, 5)))
            return 4;
        if (!Match(CLzwEncodeTable::FirstKey(w, 6)))
            return 5;
        if (!Match(CLzwEncodeTable::FirstKey(w, 7)))
            return 6;
        const unsigned m8 = MatchHash(h8);
        const bool complete8 = m_table.Bytes8Complete();
        return (m8 != 0 || !complete8) ? 8 : 7;
    }

    // Eight bytes or more known: go on from the 7-byte string's level boundary.
    [[gnu::always_inline]] Mode EnterNextLevel(std::uint64_t w, std::uint64_t h8, bool complete8)
    {
        const std::uint64_t key7 = CLzwEncodeTable::FirstKey(w, 7);
        const UINT code7 = Probe(key7);
        if (__builtin_expect(complete8 ? !m_table.ConfirmBytes8(code7, CodeOf(h8), w) : !m_table.Confirm(code7, key7),
                             0))
            return INNER;
        m_nString = code7;
        m_nPos += LZW_FIRST_LEVEL_BYTES - 1;
        return BOUNDARY;
    }

    // The next level: the string s and 1 to 5 following bytes, tested from the
    // shortest up as in FirstLevelLength.
    [[gnu::always_inline]] Mode NextLevel()
    {
        std::uint64_t w;
        std::memcpy(&w, m_pIn + m_nPos, 8);
        const std::uint64_t s = m_nString;
        const UINT more = !Match(CLzwEncodeTable::LevelKey(w, 1, s))   ? 0
                          : !Match(CLzwEncodeTable::LevelKey(w, 2, s)) ? 1
                          : !Match(CLzwEncodeTable::LevelKey(w, 3, s)) ? 2
                          : !Match(CLzwEncodeTable::LevelKey(w, 4, s)) ? 3
                          : !Match(CLzwEncodeTable::LevelKey(w, 5, s)) ? 4
                                                                       : LZW_LEVEL_BYTES;
        UINT code = s;
        if (more > 0) {
            const std::uint64_t known = CLzwEncodeTable::LevelKey(w, more, s);
            code = Probe(known);
            if (__builtin_expect(!m_table.Confirm(code, known), 0))
                return INNER;
        }
        if (more == LZW_LEVEL_BYTES) {
            m_nString = code;
            m_nPos += LZW_LEVEL_BYTES;
            return BOUNDARY;
        }
        const std::uint64_t key = CLzwEncodeTable::LevelKey(w, more + 1, s);
        const std::uint64_t h = CLzwEncodeTable::Hash(key);
        if (__builtin_expect(m_table.Overflowed(h), 0))
            return INNER;
        m_nPos += more;
        Emit(code, m_nPos);
        m_table.InsertHashed(key, h, m_nNext);
        return NextString();
    }

    // The string s and one more byte.
    [[gnu::always_inline]] Mode OneByte()
    {
        const std::uint64_t key = m_table.ExtendKey(static_cast<UINT>(m_nString), m_pIn[m_nPos]);
        const UINT code = m_table.Find(key);
        if (code) {
            m_nString = code;
            ++m_nPos;
            return m_table.AtBoundary(code) ? BOUNDARY : INNER;
        }
        Emit(static_cast<UINT>(m_nString), m_nPos);
        m_table.Insert(key, m_nNext);
        return NextString();
    }

    // After a string went out and the next code was given to it extended by in[p]:
    // the next string starts with that byte.
    [[gnu::always_inline]] Mode NextString()
    {
        if (__builtin_expect((++m_nNext >> m_nBits) != 0, 0))
            WidenOrReset();
        m_nString = m_pIn[m_nPos];
        ++m_nPos;
        return FRESH;
    }

    // After the last code of the width was given (the widen limit is 2^width - 1):
    // widen, or reset after code 32767.
    [[gnu::always_inline]] void WidenOrReset()
    {
        Put(m_nNext > LZW_MAX_CODE ? LZW_RESET : LZW_WIDEN);
        if (m_nNext > LZW_MAX_CODE) {
            m_table.Clear();
            m_nNext = LZW_FIRST_FREE;
            m_nBits = 9;
        } else {
            ++m_nBits;
        }
    }

    // A data code emitted at position pos, after the progress report it may owe.
    [[gnu::always_inline]] void Emit(UINT code, UINT pos)
    {
        if (__builtin_expect(pos >= m_nProgressMark, 0)) {
            Store();
            m_file.PassProgressMark(pos);
            m_nProgressMark = m_file.m_nProgressMark;
        }
        Put(code);
    }
    [[gnu::always_inline]] void Put(UINT code) { m_file.PutBits(m_out, code, static_cast<int>(m_nBits)); }

    void Store()
    {
        m_file.StoreWriter(m_out);
        m_file.m_nStringCode = static_cast<UINT>(m_nString);
        m_file.m_nNextCode = m_nNext;
        m_file.m_nCodeBits = m_nBits;
        m_file.m_nProgressMark = m_nProgressMark;
    }

    // The group probes of the table, with AVX2 in the WIDE build.
    UINT CodeOf(std::uint64_t h) const
    {
        unsigned match;
        if constexpr (WIDE)
            return m_table.ProbeHashWide(h, match);
        else
            return m_table.ProbeHash(h, match);
    }
    UINT Probe(std::uint64_t key) const { return CodeOf(CLzwEncodeTable::Hash(key)); }
    unsigned MatchHash(std::uint64_t h) const
    {
        if constexpr (WIDE)
            return m_table.MatchHashWide(h);
        else
            return m_table.MatchHash(h);
    }
    unsigned Match(std::uint64_t key) const { return MatchHash(CLzwEncodeTable::Hash(key)); }

    CLzwFile& m_file;
    CLzwEncodeTable& m_table;
    const std::uint8_t* const m_pIn;
    UINT m_nPos;   // next byte of the data to take
    const UINT m_nCount;
    // Code of the string matched so far.  64 bits wide as the level keys take it: when
    // it is kept on the stack, a narrower store could not be forwarded to their load.
    std::uint64_t m_nString;
    UINT m_nNext;   // the next code to give
    UINT m_nBits;   // code width in force
    std::uint64_t m_nProgressMark;
    CBitWriter m_out;
};

bool g_bLzwWideProbes = true;

// The writer's loop built twice: with AVX2 probes where the processor has AVX2, and
// with SSE2 probes everywhere else.  Both give the same codes.
__attribute__((target("avx2,bmi"), flatten)) void CLzwFile::EncodeFromWide(const std::uint8_t* in, UINT p, UINT count)
{
    CEncodeRun<true>(*this, in, p, count).Run();
}

__attribute__((flatten)) void CLzwFile::EncodeFromPortable(const std::uint8_t* in, UINT p, UINT count)
{
    CEncodeRun<false>(*this, in, p, count).Run();
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
    std::uint64_t mark = (std::uint64_t {p} + 999) / 1000 * 1000;
    if (mark == p) {
        ReportProgress(p);
        mark += 1000;
    }
    m_nProgressMark = mark;
}

void CLzwFile::Close()
{
    if (!m_bOpen)
        return;
    if (m_nOpenFlags != OPEN_READ && m_bWriting) {
        // The last incomplete byte stays in the bit writer, which does not store it.
        PutBits(m_nStringCode, static_cast<int>(m_nCodeBits));
        PutBits(LZW_END_OF_DATA, static_cast<int>(m_nCodeBits));
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
    CBitReader codes = LoadReader();
    while (end - start < want && next < entryLimit) {
        const UINT code = PeekBits(codes, bits);
        if (code >= next || code - LZW_END_OF_DATA < 3)
            break;
        const CLzwDecodeEntry e = table[code];
        if ((e.nPos & LZW_NOT_IN_HISTORY) || e.nLength > LZW_HISTORY_SIZE - end)
            break;
        codes.Skip(bits);
        if (codes.bPastEnd)
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
    StoreReader(codes);
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
