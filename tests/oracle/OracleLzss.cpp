// Reference LZSS coder over a 4096-byte window (data starts at window position 1).
// Bit format, fields most significant bit first: literal = 1, byte (8 bits); match = 0, window
// position (12 bits, 1..4095), length - 2 (4 bits, lengths 2..17); end marker = 0, 12 zero bits.
// The writer finds matches with a binary search tree over window positions (entry 4096 is the
// root, 0 means "none"), and codes from the moment 17 bytes are held or the stream is closed.
#include "tests/oracle/OracleStream.h"

namespace oracle {

namespace {
std::uint32_t Wrap(std::uint32_t p)
{
    return p % kLzssWindowSize;
}
}   // namespace

// ---- search tree ---------------------------------------------------------------------------

void LzssWriter::ResetSearchTree()
{
    for (LzssTreeNode& node : m_Tree)
        node = {0, 0, 0};
    m_Tree[kLzssTreeRoot].nLarger = 1;
    m_Tree[1].nParent = kLzssTreeRoot;
    m_Tree[1].nSmaller = 0;
    m_Tree[1].nLarger = 0;
}

int LzssWriter::InsertString(std::uint32_t newPos)
{
    if (newPos == kLzssUnused)
        return 0;
    std::uint32_t test = m_Tree[kLzssTreeRoot].nLarger;
    int best = 0;
    for (;;) {
        int i = 0;
        int d = 0;
        for (; i < kLzssLookAhead; ++i) {
            d = static_cast<int>(m_Window[Wrap(newPos + i)]) - static_cast<int>(m_Window[Wrap(test + i)]);
            if (d != 0)
                break;
        }
        if (i >= best) {
            best = i;
            m_nMatchPos = test;
            if (i == kLzssLookAhead) {
                TransplantNode(test, newPos);
                return kLzssLookAhead;
            }
        }
        std::uint32_t& child = d > 0 ? m_Tree[test].nLarger : m_Tree[test].nSmaller;
        if (child == kLzssUnused) {
            child = newPos;
            m_Tree[newPos].nParent = test;
            m_Tree[newPos].nSmaller = kLzssUnused;
            m_Tree[newPos].nLarger = kLzssUnused;
            return best;
        }
        test = child;
    }
}

void LzssWriter::RemoveString(std::uint32_t p)
{
    if (m_Tree[p].nParent == kLzssUnused)
        return;
    if (m_Tree[p].nLarger == kLzssUnused) {
        SpliceOut(p, m_Tree[p].nSmaller);
    } else if (m_Tree[p].nSmaller == kLzssUnused) {
        SpliceOut(p, m_Tree[p].nLarger);
    } else {
        const std::uint32_t r = FindPredecessor(p);
        RemoveString(r);
        TransplantNode(p, r);
    }
}

void LzssWriter::SpliceOut(std::uint32_t oldNode, std::uint32_t newNode)
{
    const std::uint32_t parent = m_Tree[oldNode].nParent;
    m_Tree[newNode].nParent = parent;
    if (m_Tree[parent].nLarger == oldNode)
        m_Tree[parent].nLarger = newNode;
    else
        m_Tree[parent].nSmaller = newNode;
    m_Tree[oldNode].nParent = kLzssUnused;
}

void LzssWriter::TransplantNode(std::uint32_t oldNode, std::uint32_t newNode)
{
    const std::uint32_t parent = m_Tree[oldNode].nParent;
    if (m_Tree[parent].nSmaller == oldNode)
        m_Tree[parent].nSmaller = newNode;
    else
        m_Tree[parent].nLarger = newNode;
    m_Tree[newNode] = m_Tree[oldNode];
    m_Tree[m_Tree[newNode].nSmaller].nParent = newNode;
    m_Tree[m_Tree[newNode].nLarger].nParent = newNode;
    m_Tree[oldNode].nParent = kLzssUnused;
}

std::uint32_t LzssWriter::FindPredecessor(std::uint32_t p)
{
    std::uint32_t q = m_Tree[p].nSmaller;
    while (m_Tree[q].nLarger != kLzssUnused)
        q = m_Tree[q].nLarger;
    return q;
}

// ---- writer --------------------------------------------------------------------------------

bool LzssWriter::TakeByte(const std::uint8_t* data, std::uint8_t& c)
{
    if (m_nInputLeft == 0)
        return false;
    c = data[m_nDataPos];
    ++m_nDataPos;
    --m_nInputLeft;
    return true;
}

void LzssWriter::EncodeData(const std::uint8_t* data, bool inputEnded)
{
    if (m_nEncodeState == 0) {
        std::uint8_t c = 0;
        while (m_nFilled < kLzssLookAhead && !inputEnded && TakeByte(data, c)) {
            ++m_nFilled;
            m_Window[static_cast<std::size_t>(m_nFilled)] = c;
        }
        if (m_nFilled < kLzssLookAhead && !inputEnded)
            return;
        m_nEncodeState = 1;
    }
    if (m_nEncodeState == 1) {
        m_nLookAhead = m_nFilled;
        ResetSearchTree();
        m_nMatchPos = 0;
        m_nMatchLength = 0;
        m_nEncodeState = 2;
    }
    for (;;) {
        if (m_nLookAhead <= 0)
            return;
        if (m_nMatchLength > m_nLookAhead)
            m_nMatchLength = m_nLookAhead;
        if (m_nMatchLength <= 1) {
            m_Out.OutputBit(1);
            m_Out.OutputBits(m_Window[m_nCurrentPos], 8, 0, false);
            m_nReplaceCount = 1;
        } else {
            m_Out.OutputBit(0);
            m_Out.OutputBits(m_nMatchPos, kLzssIndexBits, 0, false);
            m_Out.OutputBits(static_cast<std::uint32_t>(m_nMatchLength - 2), kLzssLengthBits, 0, false);
            m_nReplaceCount = m_nMatchLength;
        }
        for (int r = 0; r < m_nReplaceCount; ++r) {
            const std::uint32_t ahead = Wrap(m_nCurrentPos + kLzssLookAhead);
            RemoveString(ahead);
            std::uint8_t c = 0;
            if (TakeByte(data, c))
                m_Window[ahead] = c;
            else
                --m_nLookAhead;
            m_nCurrentPos = Wrap(m_nCurrentPos + 1);
            if (m_nLookAhead != 0)
                m_nMatchLength = InsertString(m_nCurrentPos);
        }
    }
}

void LzssWriter::WriteData(const std::uint8_t* data, std::uint32_t count)
{
    m_nInputLeft = count;
    m_nDataPos = 0;
    EncodeData(data, false);
    m_Out.m_nOriginalSize += count;
}

Encoded LzssWriter::Close()
{
    if (m_nEncodeState == 0) {
        m_nInputLeft = 0;
        EncodeData(nullptr, true);
    }
    m_Out.OutputBit(0);
    m_Out.OutputBits(0, kLzssIndexBits, 0, false);
    return m_Out.Close();
}

// ---- reader --------------------------------------------------------------------------------

std::uint32_t LzssReader::Read(std::vector<std::uint8_t>& out, std::uint32_t count)
{
    std::uint32_t dataPos = 0;
    while (m_nPendingCount > 0 && dataPos < count) {
        out.push_back(m_Pending[m_nPendingPos]);
        ++dataPos;
        ++m_nPendingPos;
        --m_nPendingCount;
    }
    while (dataPos < count) {
        if (m_In.InputBit() == 1) {
            const std::uint8_t c = static_cast<std::uint8_t>(m_In.InputBits(8));
            if (m_In.PastEnd())
                break;
            out.push_back(c);
            ++dataPos;
            m_Window[m_nCurrentPos] = c;
            m_nCurrentPos = Wrap(m_nCurrentPos + 1);
            continue;
        }
        m_nMatchPos = m_In.InputBits(kLzssIndexBits);
        if (m_nMatchPos == 0)
            break;   // end marker
        m_nMatchLength = static_cast<std::int32_t>(m_In.InputBits(kLzssLengthBits)) + 1;
        if (m_In.PastEnd())
            break;
        m_nPendingPos = 0;
        for (std::int32_t i = 0; i <= m_nMatchLength; ++i) {
            const std::uint8_t c = m_Window[Wrap(m_nMatchPos + static_cast<std::uint32_t>(i))];
            if (dataPos < count) {
                out.push_back(c);
                ++dataPos;
            } else if (m_nPendingCount < kLzssPendingSize) {   // never more than 17 in practice
                m_Pending[m_nPendingCount] = c;
                ++m_nPendingCount;
            }
            m_Window[m_nCurrentPos] = c;
            m_nCurrentPos = Wrap(m_nCurrentPos + 1);
        }
    }
    return dataPos;
}

}   // namespace oracle
