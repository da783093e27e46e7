#include "streams/LzssFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr UINT WINDOW_MASK = LZSS_WINDOW_SIZE - 1;
constexpr int LITERAL_BITS = 1 + 8;
constexpr int MATCH_BITS = 1 + LZSS_INDEX_BITS + LZSS_LENGTH_BITS;
constexpr int END_BITS = 1 + LZSS_INDEX_BITS;
constexpr UINT LITERAL_FLAG = 1u << (MATCH_BITS - 1);   // flag bit of a 17-bit token look

// Copies n bytes (2 to 17) between two regions that do not overlap, in a few
// fixed-size moves instead of a library call.
inline void CopyShort(std::uint8_t* dst, const std::uint8_t* src, UINT n)
{
    if (n >= 8) {
        std::uint64_t a, b, c;
        std::memcpy(&a, src, 8);
        std::memcpy(&c, src + n - 8, 8);
        if (n > 16) {
            std::memcpy(&b, src + 8, 8);
            std::memcpy(dst + 8, &b, 8);
        }
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + n - 8, &c, 8);
    } else if (n >= 4) {
        std::uint32_t a, c;
        std::memcpy(&a, src, 4);
        std::memcpy(&c, src + n - 4, 4);
        std::memcpy(dst, &a, 4);
        std::memcpy(dst + n - 4, &c, 4);
    } else {
        std::uint16_t a, c;
        std::memcpy(&a, src, 2);
        std::memcpy(&c, src + n - 2, 2);
        std::memcpy(dst, &a, 2);
        std::memcpy(dst + n - 2, &c, 2);
    }
}

}   // namespace

CLzssFile::~CLzssFile()
{
    // A stream deleted without Close still gives its side buffer back.
    delete[] m_pPending;
    m_pPending = nullptr;
}

BOOL CLzssFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    std::memset(m_Window, 0, sizeof m_Window);
    delete[] m_pPending;
    m_pPending = new (std::nothrow) std::uint8_t[LZSS_PENDING_SIZE];
    if (!m_pPending)
        return FALSE;
    m_nMethod = METHOD_LZSS;
    m_nCurrentPos = 1;
    m_nPendingCount = 0;
    m_nPendingPos = 0;
    m_nEncodeState = EncodeState::Filling;
    m_nFilled = 0;
    m_nDataPos = 0;
    m_nInputLeft = 0;
    m_nMatchLength = 0;
    m_nMatchPos = 0;
    m_bEndSeen = false;
    return OpenShared(fileName, openFlags, error);
}

void CLzssFile::Close()
{
    delete[] m_pPending;
    m_pPending = nullptr;
    if (m_nOpenFlags != OPEN_READ && m_bWriting) {
        if (m_nEncodeState == EncodeState::Filling) {
            // Fewer than 17 bytes came: code what the window holds.
            m_nInputLeft = 0;
            EncodeData(nullptr, TRUE);
        }
        PutBits(0, END_BITS);   // end marker: 0 and a zero position
    }
    CloseBase(TRUE);   // the header gets its sizes
}

void CLzssFile::WriteData(const void* data, UINT count)
{
    if (!m_bOpen || !m_bWriting)
        return;
    if (count > std::numeric_limits<UINT>::max() - m_nOriginalSize)
        throw CFileException(CFileException::invalidFile, EFBIG, m_szFileName,
                             "data too large for the format (4 GiB) while writing");
    if (count > 0 && m_nEncodeState == EncodeState::Coding)
        throw CFileException(CFileException::invalidFile, EINVAL, m_szFileName,
                             "the LZSS stream has coded its data to the end and takes no more");
    m_nInputLeft = count;
    m_nDataPos = 0;
    EncodeData(static_cast<const std::uint8_t*>(data), FALSE);
    m_nOriginalSize += count;
}

// ---------------------------------------------------------------------------
// Writer

void CLzssFile::EncodeData(const std::uint8_t* data, BOOL inputEnded)
{
    if (m_nEncodeState == EncodeState::Filling) {
        // The first 17 bytes go to window positions 1 to 17.
        while (m_nFilled < LZSS_LOOK_AHEAD && !inputEnded && m_nInputLeft > 0) {
            ++m_nFilled;
            m_Window[m_nFilled] = data[m_nDataPos++];
            --m_nInputLeft;
        }
        if (m_nFilled < LZSS_LOOK_AHEAD && !inputEnded)
            return;
        m_nEncodeState = EncodeState::Starting;
    }
    if (m_nEncodeState == EncodeState::Starting) {
        m_nLookAhead = m_nFilled;
        ResetSearchTree();
        m_nMatchPos = 0;
        m_nMatchLength = 0;
        m_nEncodeState = EncodeState::Coding;
    }
    CBitWriter out = LoadWriter();
    while (m_nLookAhead > 0) {
        if (m_nMatchLength > m_nLookAhead)
            m_nMatchLength = m_nLookAhead;
        if (m_nMatchLength <= 1) {
            PutBits(out, 0x100u | m_Window[m_nCurrentPos], LITERAL_BITS);
            m_nReplaceCount = 1;
        } else {
            PutBits(out, (m_nMatchPos & WINDOW_MASK) << LZSS_LENGTH_BITS | UINT(m_nMatchLength - LZSS_MIN_MATCH),
                    MATCH_BITS);
            m_nReplaceCount = m_nMatchLength;
        }
        for (int i = 0; i < m_nReplaceCount; ++i) {
            UINT ahead = (m_nCurrentPos + LZSS_LOOK_AHEAD) & WINDOW_MASK;
            RemoveString(ahead);
            if (m_nInputLeft > 0) {
                m_Window[ahead] = data[m_nDataPos++];
                --m_nInputLeft;
            } else {
                --m_nLookAhead;
            }
            m_nCurrentPos = (m_nCurrentPos + 1) & WINDOW_MASK;
            if (m_nLookAhead != 0)
                m_nMatchLength = InsertString(m_nCurrentPos);
        }
    }
    StoreWriter(out);
}

void CLzssFile::ResetSearchTree()
{
    std::memset(m_Tree, 0, sizeof m_Tree);
    m_Tree[LZSS_TREE_ROOT].nLarger = 1;
    m_Tree[1].nParent = LZSS_TREE_ROOT;
}

namespace {

// The 17-byte string at a window position as a key that compares like the string:
// bytes 0-7 and 8-15 as big-endian numbers, then byte 16.
struct LzssKey {
    std::uint64_t hi, lo;
    UINT last;
};

inline std::uint64_t BigEndian64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little)
        v = __builtin_bswap64(v);
    return v;
}

inline LzssKey LoadKey(const std::uint8_t* window, UINT pos)
{
    LzssKey key;
    if (pos <= LZSS_WINDOW_SIZE - LZSS_LOOK_AHEAD) {
        key.hi = BigEndian64(window + pos);
        key.lo = BigEndian64(window + pos + 8);
        key.last = window[pos + 16];
    } else {   // the string runs past position 4095 and on at 0
        key.hi = key.lo = 0;
        for (UINT i = 0; i < 8; ++i) {
            key.hi = key.hi << 8 | window[(pos + i) & WINDOW_MASK];
            key.lo = key.lo << 8 | window[(pos + 8 + i) & WINDOW_MASK];
        }
        key.last = window[(pos + 16) & WINDOW_MASK];
    }
    return key;
}

}   // namespace

int CLzssFile::InsertString(UINT newPos)
{
    if (newPos == LZSS_UNUSED)
        return 0;
    const LzssKey key = LoadKey(m_Window, newPos);
    UINT test = m_Tree[LZSS_TREE_ROOT].nLarger;
    UINT matchPos = 0;
    int best = 0;
    for (;;) {
        // i: leading bytes equal over the 17; larger: the first unequal byte of the new
        // string is the larger one.
        const LzssKey other = LoadKey(m_Window, test);
        int i;
        bool larger;
        if (key.hi != other.hi) {
            i = std::countl_zero(key.hi ^ other.hi) / 8;
            larger = key.hi > other.hi;
        } else if (key.lo != other.lo) {
            i = 8 + std::countl_zero(key.lo ^ other.lo) / 8;
            larger = key.lo > other.lo;
        } else {
            i = key.last != other.last ? 16 : LZSS_LOOK_AHEAD;
            larger = key.last > other.last;
        }
        if (i >= best) {   // on equal length the entry met later wins
            best = i;
            matchPos = test;
            if (i == LZSS_LOOK_AHEAD) {
                m_nMatchPos = matchPos;
                TransplantNode(test, newPos);
                return best;
            }
        }
        UINT& link = larger ? m_Tree[test].nLarger : m_Tree[test].nSmaller;
        if (link == LZSS_UNUSED) {
            link = newPos;
            m_Tree[newPos] = {test, LZSS_UNUSED, LZSS_UNUSED};
            m_nMatchPos = matchPos;
            return best;
        }
        test = link;
    }
}

void CLzssFile::RemoveString(UINT p)
{
    const LzssTreeNode& node = m_Tree[p];
    if (node.nParent == LZSS_UNUSED)
        return;
    if (node.nLarger == LZSS_UNUSED) {
        SpliceOut(p, node.nSmaller);
    } else if (node.nSmaller == LZSS_UNUSED) {
        SpliceOut(p, node.nLarger);
    } else {
        UINT r = FindPredecessor(p);
        RemoveString(r);   // r has no larger child: one level at most
        TransplantNode(p, r);
    }
}

void CLzssFile::SpliceOut(UINT oldNode, UINT newNode)
{
    UINT parent = m_Tree[oldNode].nParent;
    m_Tree[newNode].nParent = parent;   // entry 0 too, when newNode is 0
    if (m_Tree[parent].nLarger == oldNode)
        m_Tree[parent].nLarger = newNode;
    else
        m_Tree[parent].nSmaller = newNode;
    m_Tree[oldNode].nParent = LZSS_UNUSED;
}

void CLzssFile::TransplantNode(UINT oldNode, UINT newNode)
{
    UINT parent = m_Tree[oldNode].nParent;
    if (m_Tree[parent].nSmaller == oldNode)
        m_Tree[parent].nSmaller = newNode;
    else
        m_Tree[parent].nLarger = newNode;
    m_Tree[newNode] = m_Tree[oldNode];
    m_Tree[m_Tree[newNode].nSmaller].nParent = newNode;   // entry 0 too, when a child is missing
    m_Tree[m_Tree[newNode].nLarger].nParent = newNode;
    m_Tree[oldNode].nParent = LZSS_UNUSED;
}

UINT CLzssFile::FindPredecessor(UINT p) const
{
    UINT q = m_Tree[p].nSmaller;
    while (m_Tree[q].nLarger != LZSS_UNUSED)
        q = m_Tree[q].nLarger;
    return q;
}

// ---------------------------------------------------------------------------
// Reader

UINT CLzssFile::Read(void* buffer, UINT count)
{
    if (!m_bOpen || !m_bReading || count == 0)
        return 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    // Bytes of the last match that did not fit into the previous Read come first.
    UINT pos = std::min(m_nPendingCount, count);
    if (pos > 0) {
        std::memcpy(out, m_pPending + m_nPendingPos, pos);
        m_nPendingPos += pos;
        m_nPendingCount -= pos;
    }
    if (pos < count && !m_bEndSeen && !RanPastEnd()) {
        pos = DecodeFast(out, pos, count);
        if (!m_bEndSeen && !RanPastEnd())
            pos = DecodeTail(out, pos, count);
    }
    m_nDataPos = pos;
    return pos;
}

bool CLzssFile::ReadEndCode()
{
    if (!m_bOpen || !m_bReading || m_bEndSeen || RanPastEnd() || m_nPendingCount > 0)
        return false;
    m_bEndSeen = true;
    return TakeEndCode(0, END_BITS);
}

// Decodes tokens straight into the caller's buffer while at least 17 bytes of room
// remain, so that every token fits.  A match takes its bytes from the output of
// this call where they lie there, else from the window, which is brought up to date
// once at the end.
UINT CLzssFile::DecodeFast(std::uint8_t* out, UINT pos, UINT count)
{
    const UINT base = pos;
    const UINT cur0 = m_nCurrentPos;
    const std::uint8_t* win = m_Window;
    CBitReader tokens = LoadReader();
    while (count - pos >= UINT(LZSS_LOOK_AHEAD)) {
        UINT token = PeekBits(tokens, MATCH_BITS);
        if (token & LITERAL_FLAG) {
            tokens.Skip(LITERAL_BITS);
            if (tokens.bPastEnd)
                break;
            out[pos++] = static_cast<std::uint8_t>(token >> 8);
            continue;
        }
        UINT matchPos = token >> LZSS_LENGTH_BITS;
        if (matchPos == 0) {
            tokens.Skip(END_BITS);
            m_bEndSeen = true;
            break;
        }
        tokens.Skip(MATCH_BITS);
        if (tokens.bPastEnd)
            break;
        UINT len = (token & 0xF) + LZSS_MIN_MATCH;
        UINT produced = pos - base;
        // Distance back from the next byte; position equal to the current one is the
        // oldest byte of the window, 4096 back.
        UINT dist = (cur0 + produced - matchPos) & WINDOW_MASK;
        if (dist == 0)
            dist = LZSS_WINDOW_SIZE;
        std::uint8_t* dst = out + pos;
        if (dist <= produced) {
            const std::uint8_t* src = dst - dist;
            if (dist >= len) {
                CopyShort(dst, src, len);
            } else {
                for (UINT i = 0; i < len; ++i)   // overlapping: repeats the last dist bytes
                    dst[i] = src[i];
            }
        } else if (dist >= produced + len && matchPos + len <= LZSS_WINDOW_SIZE) {
            CopyShort(dst, win + matchPos, len);
        } else {
            // Straddles the window and this call's output, or wraps past 4095.
            for (UINT i = 0; i < len; ++i)
                dst[i] = produced + i >= dist ? *(dst + i - dist) : win[(matchPos + i) & WINDOW_MASK];
        }
        pos += len;
    }
    StoreReader(tokens);
    UINT produced = pos - base;
    UINT keep = std::min(produced, LZSS_WINDOW_SIZE);
    UINT at = (cur0 + produced - keep) & WINDOW_MASK;
    UINT first = std::min(keep, LZSS_WINDOW_SIZE - at);
    std::memcpy(m_Window + at, out + pos - keep, first);
    std::memcpy(m_Window, out + pos - keep + first, keep - first);
    m_nCurrentPos = (cur0 + produced) & WINDOW_MASK;
    return pos;
}

// The last tokens of a Read, one byte at a time through the window: the bytes of a
// match that do not fit wait in the side buffer.
UINT CLzssFile::DecodeTail(std::uint8_t* out, UINT pos, UINT count)
{
    UINT cur = m_nCurrentPos;
    while (pos < count) {
        UINT token = PeekBits(MATCH_BITS);
        if (token & LITERAL_FLAG) {
            SkipBits(LITERAL_BITS);
            if (RanPastEnd())
                break;
            auto c = static_cast<std::uint8_t>(token >> 8);
            out[pos++] = c;
            m_Window[cur] = c;
            cur = (cur + 1) & WINDOW_MASK;
            continue;
        }
        m_nMatchPos = token >> LZSS_LENGTH_BITS;
        if (m_nMatchPos == 0) {
            SkipBits(END_BITS);
            m_bEndSeen = true;
            break;
        }
        SkipBits(MATCH_BITS);
        if (RanPastEnd())
            break;
        m_nMatchLength = int(token & 0xF) + 1;
        m_nPendingPos = 0;
        for (int i = 0; i <= m_nMatchLength; ++i) {
            std::uint8_t c = m_Window[(m_nMatchPos + UINT(i)) & WINDOW_MASK];
            if (pos < count)
                out[pos++] = c;
            else if (m_pPending && m_nPendingCount < LZSS_PENDING_SIZE)
                m_pPending[m_nPendingCount++] = c;
            m_Window[cur] = c;
            cur = (cur + 1) & WINDOW_MASK;
        }
    }
    m_nCurrentPos = cur;
    return pos;
}
