// Reference adaptive Huffman coder.
// Bit format: for each data byte the path from the root to its leaf (0 = odd node, 1 = even node,
// nearest the root first); a byte not yet in the tree is sent as the escape leaf's path followed by
// its 8 bits. After the data, the end leaf's path, then zero bits to the byte boundary. Both sides
// count every data byte into the tree; when the root weighs 32768 before a count, all weights are
// halved and the tree rebuilt.
#include "tests/oracle/OracleStream.h"

#include <cstring>

namespace oracle {

void HuffmanModel::ResetTree()
{
    m_nLeaf.fill(0);
    m_nNextFreeNode = 0;
    std::memset(m_Node.data(), 0, sizeof(HuffmanNode) * m_Node.size());
    m_Node[0] = {2, -1, 0, 1};
    m_Node[1] = {1, 0, 1, kHuffEndOfData};
    m_nLeaf[kHuffEndOfData] = 1;
    m_Node[2] = {1, 0, 1, kHuffEscape};
    m_nLeaf[kHuffEscape] = 2;
    m_nNextFreeNode = 3;
    for (int s = 0; s < 256; ++s)
        m_nLeaf[s] = -1;
}

bool HuffmanModel::AddLeaf(int s)
{
    if (m_nNextFreeNode + 2 > kHuffNodes)
        return false;
    const int lightest = m_nNextFreeNode - 1;
    const int newNode = m_nNextFreeNode;
    const int zero = m_nNextFreeNode + 1;
    m_nNextFreeNode += 2;

    m_Node[newNode] = m_Node[lightest];
    m_Node[newNode].nParent = lightest;
    m_nLeaf[m_Node[newNode].nChild] = newNode;

    m_Node[lightest].nChild = newNode;
    m_Node[lightest].bChildIsLeaf = 0;

    m_Node[zero] = {0, lightest, 1, s};
    m_nLeaf[s] = zero;
    return true;
}

void HuffmanModel::CountSymbol(int s)
{
    if (m_Node[0].nWeight == kHuffMaxWeight)
        HalveWeights();
    int n = m_nLeaf[s];
    while (n != -1) {
        ++m_Node[n].nWeight;
        int m = n;
        while (m > 0 && m_Node[m - 1].nWeight < m_Node[n].nWeight)
            --m;
        if (m != n) {
            ExchangeNodes(n, m);
            n = m;
        }
        n = m_Node[n].nParent;
    }
}

void HuffmanModel::ExchangeNodes(int a, int b)
{
    if (m_Node[a].bChildIsLeaf)
        m_nLeaf[m_Node[a].nChild] = b;
    else
        m_Node[m_Node[a].nChild].nParent = m_Node[m_Node[a].nChild + 1].nParent = b;
    if (m_Node[b].bChildIsLeaf)
        m_nLeaf[m_Node[b].nChild] = a;
    else
        m_Node[m_Node[b].nChild].nParent = m_Node[m_Node[b].nChild + 1].nParent = a;
    std::swap(m_Node[a].nWeight, m_Node[b].nWeight);
    std::swap(m_Node[a].bChildIsLeaf, m_Node[b].bChildIsLeaf);
    std::swap(m_Node[a].nChild, m_Node[b].nChild);
}

void HuffmanModel::HalveWeights()
{
    // Gather the leaves at the end, halved and rounded up, in their former order.
    int j = m_nNextFreeNode - 1;
    for (int i = m_nNextFreeNode - 1; i >= 0; --i) {
        if (m_Node[i].bChildIsLeaf) {
            m_Node[j] = m_Node[i];
            m_Node[j].nWeight = (m_Node[j].nWeight + 1) / 2;
            --j;
        }
    }
    // Pair nodes from the end into inner nodes, each placed before all nodes of its own weight.
    for (int i = m_nNextFreeNode - 2; j >= 0; i -= 2, --j) {
        const std::uint32_t w = m_Node[i].nWeight + m_Node[i + 1].nWeight;
        m_Node[j].nWeight = w;
        m_Node[j].bChildIsLeaf = 0;
        int k = j + 1;
        while (w < m_Node[k].nWeight)
            ++k;
        --k;
        std::memmove(&m_Node[j], &m_Node[j + 1], sizeof(HuffmanNode) * static_cast<std::size_t>(k - j));
        m_Node[k].nWeight = w;
        m_Node[k].nChild = i;
        m_Node[k].bChildIsLeaf = 0;
    }
    // Links.
    for (int i = m_nNextFreeNode - 1; i >= 0; --i) {
        if (m_Node[i].bChildIsLeaf) {
            m_nLeaf[m_Node[i].nChild] = i;
        } else {
            m_Node[m_Node[i].nChild].nParent = i;
            m_Node[m_Node[i].nChild + 1].nParent = i;
        }
    }
}

// ---- writer --------------------------------------------------------------------------------

void HuffmanWriter::PutSymbol(int s)
{
    int n = m_Model.m_nLeaf[s];
    if (n == -1)
        n = m_Model.m_nLeaf[kHuffEscape];
    std::uint32_t code = 0;
    std::uint32_t bit = 1;
    int length = 0;
    while (n != 0) {
        if (n % 2 == 0)
            code |= bit;
        bit <<= 1;
        ++length;
        n = m_Model.m_Node[n].nParent;
    }
    m_Out.OutputBits(code, length, 0, false);
    if (m_Model.m_nLeaf[s] == -1) {
        m_Out.OutputBits(static_cast<std::uint32_t>(s), 8, 0, false);
        m_Model.AddLeaf(s);
    }
}

void HuffmanWriter::WriteData(const std::uint8_t* data, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        PutSymbol(data[i]);
        m_Model.CountSymbol(data[i]);
    }
    m_Out.m_nOriginalSize += count;
}

Encoded HuffmanWriter::Close()
{
    PutSymbol(kHuffEndOfData);
    while (m_Out.m_nMask != 0x80)
        m_Out.OutputBit(0);
    return m_Out.Close();
}

// ---- reader --------------------------------------------------------------------------------

int HuffmanReader::GetSymbol(bool& damaged)
{
    int n = 0;
    while (!m_Model.m_Node[n].bChildIsLeaf)
        n = m_Model.m_Node[n].nChild + m_In.InputBit();
    if (m_In.PastEnd())
        return -1;
    int s = m_Model.m_Node[n].nChild;
    if (s == kHuffEscape) {
        s = static_cast<int>(m_In.InputBits(8));
        if (m_In.PastEnd())
            return -1;
        // A well-formed stream escapes each byte value once; anything else would grow the tree
        // past its 515 nodes.
        if (m_Model.m_nLeaf[s] != -1 || !m_Model.AddLeaf(s)) {
            damaged = true;
            return -1;
        }
    }
    return s;
}

std::uint32_t HuffmanReader::Read(std::vector<std::uint8_t>& out, std::uint32_t count, bool& damaged)
{
    std::uint32_t i = 0;
    while (i < count) {
        const int s = GetSymbol(damaged);
        if (s < 0 || s == kHuffEndOfData)
            break;
        out.push_back(static_cast<std::uint8_t>(s));
        ++i;
        m_Model.CountSymbol(s);
    }
    return i;
}

}   // namespace oracle
