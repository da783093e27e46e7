#include "streams/HuffmanFile.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

BOOL CHuffmanFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    m_nMethod = METHOD_HUFFMAN;
    ResetTree();
    m_bEndOfData = FALSE;
    return OpenShared(fileName, openFlags, error);
}

// The coding of one symbol, inlined into the loops of WriteData and Read so that the
// bit writer and reader stay in their locals.
[[gnu::always_inline]] inline void CHuffmanFile::PutSymbol(CBitWriter& out, int s)
{
    int n = m_nLeaf[s];
    if (n == -1)
        n = m_nLeaf[HUFF_ESCAPE];
    // Build the whole code while walking up: the bit nearest the leaf is the lowest.
    std::uint64_t code = 0;
    int length = 0;
    while (n != 0) {
        code |= std::uint64_t((n & 1) ^ 1) << length;
        ++length;
        n = m_Node[n].nParent;
    }
    if (length > 32) {
        PutBits(out, static_cast<UINT>(code >> 32), length - 32);
        length = 32;
    }
    PutBits(out, static_cast<UINT>(code), length);
    if (m_nLeaf[s] == -1) {
        PutBits(out, static_cast<UINT>(s), 8);
        AddLeaf(s);
    }
}

[[gnu::always_inline]] inline int CHuffmanFile::GetSymbol(CBitReader& in)
{
    // Walk down with 32 bits in hand and consume the path length at the end.
    UINT bits = PeekBits(in, 32);
    int used = 0;
    int n = 0;
    while (!m_Node[n].bChildIsLeaf) {
        if (used == 32) {
            in.Skip(32);
            bits = PeekBits(in, 32);
            used = 0;
        }
        n = m_Node[n].nChild + static_cast<int>(bits >> 31);
        bits <<= 1;
        ++used;
    }
    in.Skip(used);
    if (in.bPastEnd)
        return -1;
    int s = m_Node[n].nChild;
    if (s != HUFF_ESCAPE)
        return s;
    s = static_cast<int>(PeekBits(in, 8));
    in.Skip(8);
    if (in.bPastEnd)
        return -1;
    // A writer escapes each byte value once, so at most 256 escapes fill the 515 nodes.
    if (m_nLeaf[s] != -1 || m_nNextFreeNode + 2 > HUFF_NODE_COUNT) {
        SetDamaged();
        return -1;
    }
    AddLeaf(s);
    return s;
}

void CHuffmanFile::WriteData(const void* data, UINT count)
{
    if (!m_bOpen || !m_bWriting)
        return;
    if (count > std::numeric_limits<UINT>::max() - m_nOriginalSize)
        throw CFileException(CFileException::invalidFile, EFBIG, m_szFileName,
                             "data too large for the format (4 GiB) while writing");
    const auto* in = static_cast<const std::uint8_t*>(data);
    CBitWriter out = LoadWriter();
    for (UINT i = 0; i < count; ++i) {
        PutSymbol(out, in[i]);
        CountSymbol(in[i]);
    }
    StoreWriter(out);
    m_nOriginalSize += count;
}

UINT CHuffmanFile::Read(void* buffer, UINT count)
{
    // After the end-of-data code or a corrupt symbol there is nothing more to deliver.
    if (!m_bOpen || !m_bReading || m_bEndOfData || IsDamaged() || RanPastEnd())
        return 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    UINT done = 0;
    CBitReader bits = LoadReader();
    while (done < count) {
        int s = GetSymbol(bits);
        if (s == HUFF_END_OF_DATA) {
            m_bEndOfData = TRUE;
            break;
        }
        if (s < 0)
            break;
        out[done++] = static_cast<std::uint8_t>(s);
        CountSymbol(s);
    }
    StoreReader(bits);
    return done;
}

bool CHuffmanFile::ReadEndCode()
{
    if (!m_bOpen || !m_bReading || m_bEndOfData || IsDamaged() || RanPastEnd())
        return false;
    // The end code is the path to the end-of-data leaf, taken 32 bits at a time.
    std::uint64_t code = 0;
    int length = 0;
    for (int n = m_nLeaf[HUFF_END_OF_DATA]; n != 0 && length < 64; n = m_Node[n].nParent)
        code |= std::uint64_t((n & 1) ^ 1) << length++;
    bool same = true;
    for (; length > 32; length -= 32)
        same = TakeEndCode(static_cast<UINT>(code >> (length - 32)), 32) && same;
    return TakeEndCode(static_cast<UINT>(code), length) && same;
}

void CHuffmanFile::Close()
{
    // Only a stream that is open has an end code to write and a header to update.
    if (!m_bOpen)
        return;
    if (m_nOpenFlags != OPEN_READ && m_bWriting) {
        CBitWriter out = LoadWriter();
        PutSymbol(out, HUFF_END_OF_DATA);
        StoreWriter(out);
        PadToByte();   // the last byte is completed so that it is stored and counted
    }
    CloseBase(TRUE);   // the header gets its sizes
}

void CHuffmanFile::ResetTree()
{
    std::memset(m_nLeaf, 0, sizeof m_nLeaf);
    std::memset(m_Node, 0, sizeof m_Node);
    m_Node[0] = {2, -1, FALSE, 1};
    m_Node[1] = {1, 0, TRUE, HUFF_END_OF_DATA};
    m_Node[2] = {1, 0, TRUE, HUFF_ESCAPE};
    m_nLeaf[HUFF_END_OF_DATA] = 1;
    m_nLeaf[HUFF_ESCAPE] = 2;
    m_nNextFreeNode = 3;
    for (int s = 0; s < 256; ++s)
        m_nLeaf[s] = -1;
}

void CHuffmanFile::AddLeaf(int s)
{
    int lightest = m_nNextFreeNode - 1;
    int added = m_nNextFreeNode;
    int zero = m_nNextFreeNode + 1;
    m_nNextFreeNode += 2;

    m_Node[added] = m_Node[lightest];
    m_Node[added].nParent = lightest;
    m_nLeaf[m_Node[added].nChild] = added;

    m_Node[lightest].nChild = added;
    m_Node[lightest].bChildIsLeaf = FALSE;

    m_Node[zero] = {0, lightest, TRUE, s};
    m_nLeaf[s] = zero;
}

void CHuffmanFile::CountSymbol(int s)
{
    if (m_Node[0].nWeight == HUFF_MAX_WEIGHT)
        HalveWeights();
    int n = m_nLeaf[s];
    do {
        UINT w = ++m_Node[n].nWeight;
        if (n > 0 && m_Node[n - 1].nWeight < w) {
            // Move n in front of the run of nodes that had its old weight.
            int m = n - 1;
            while (m > 0 && m_Node[m - 1].nWeight < w)
                --m;
            ExchangeNodes(n, m);
            n = m;
        }
        n = m_Node[n].nParent;
    } while (n != -1);
}

void CHuffmanFile::ExchangeNodes(int a, int b)
{
    HuffmanNode& na = m_Node[a];
    HuffmanNode& nb = m_Node[b];
    if (na.bChildIsLeaf)
        m_nLeaf[na.nChild] = b;
    else
        m_Node[na.nChild].nParent = m_Node[na.nChild + 1].nParent = b;
    if (nb.bChildIsLeaf)
        m_nLeaf[nb.nChild] = a;
    else
        m_Node[nb.nChild].nParent = m_Node[nb.nChild + 1].nParent = a;
    std::swap(na.nWeight, nb.nWeight);
    std::swap(na.bChildIsLeaf, nb.bChildIsLeaf);
    std::swap(na.nChild, nb.nChild);
}

void CHuffmanFile::HalveWeights()
{
    // Gather the leaves at the end, halving their weights (rounded up).
    int j = m_nNextFreeNode - 1;
    for (int i = m_nNextFreeNode - 1; i >= 0; --i) {
        if (m_Node[i].bChildIsLeaf) {
            m_Node[j] = m_Node[i];
            m_Node[j].nWeight = (m_Node[j].nWeight + 1) / 2;
            --j;
        }
    }
    // Pair nodes from the end; each new inner node goes in front of the nodes of its weight.
    for (int i = m_nNextFreeNode - 2; j >= 0; i -= 2, --j) {
        UINT w = m_Node[i].nWeight + m_Node[i + 1].nWeight;
        m_Node[j].nWeight = w;
        m_Node[j].bChildIsLeaf = FALSE;
        int k = j + 1;
        while (w < m_Node[k].nWeight)
            ++k;
        --k;
        std::memmove(&m_Node[j], &m_Node[j + 1], static_cast<std::size_t>(k - j) * sizeof(HuffmanNode));
        m_Node[k].nWeight = w;
        m_Node[k].nChild = i;
        m_Node[k].bChildIsLeaf = FALSE;
    }
    // Relink leaves and parents.
    for (int i = m_nNextFreeNode - 1; i >= 0; --i) {
        if (m_Node[i].bChildIsLeaf) {
            m_nLeaf[m_Node[i].nChild] = i;
        } else {
            m_Node[m_Node[i].nChild].nParent = i;
            m_Node[m_Node[i].nChild + 1].nParent = i;
        }
    }
}
