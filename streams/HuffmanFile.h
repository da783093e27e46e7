// CHuffmanFile: the adaptive Huffman stream, method 0, magic "**++HUFF".
//
// Bit format of the payload (after the 16-byte header), packed most significant
// bit first:
//   for each data byte:  the code of its leaf; for a byte value not yet in the tree
//                        the code of the escape leaf followed by the 8 bits of the
//                        value instead
//   then:                the code of the end-of-data leaf
//   then:                zero bits up to the next byte boundary (that byte is stored)
// A code is the path from the root down to the leaf: 0 for a node with an odd
// number, 1 for an even one, the bit nearest the root first.
//
// No table is stored.  Writer and reader start from the same three-node tree (root,
// end-of-data leaf, escape leaf) and update it identically after every data byte:
// a new byte value splits the lightest leaf, and CountSymbol adds one to the weights
// on the leaf's path, moving each node in front of the nodes of its old weight so
// that weights never grow with the node number.  When the root weighs 32768 the
// weights are halved and the tree rebuilt.  The end-of-data code is never counted.
//
// The tree is a Huffman tree for weights that never exceed 32768, so no code is
// longer than about 24 bits; the coder still copes with longer paths.
#pragma once

#include "streams/CompressedFile.h"

constexpr int HUFF_SYMBOL_COUNT = 258;                       // 256 byte values + 2
constexpr int HUFF_END_OF_DATA = 256;                        // end of the coded data
constexpr int HUFF_ESCAPE = 257;                             // a new byte value follows
constexpr int HUFF_NODE_COUNT = 2 * HUFF_SYMBOL_COUNT - 1;   // 515
constexpr UINT HUFF_MAX_WEIGHT = 32768;                      // root weight that halves

struct HuffmanNode {
    UINT nWeight;        // count; an inner node's is the sum of its children's
    int nParent;         // -1 for the root
    BOOL bChildIsLeaf;   // set when this node is a leaf
    int nChild;          // leaf: its symbol; inner node: first child (second is +1)
};

class CHuffmanFile : public CCompressedFile {
public:
    CHuffmanFile() : CCompressedFile(METHOD_HUFFMAN) { ResetTree(); }

    BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr) override;
    // Delivers up to count decoded bytes.  Fewer once the end-of-data code is met
    // (later calls deliver nothing), when the stream is found corrupt (IsDamaged) or
    // when a symbol would need bits past the end of the file (RanPastEnd).
    UINT Read(void* buffer, UINT count) override;
    bool ReadEndCode() override;
    void Close() override;
    // Throws CFileException (EFBIG) before coding anything when the original size
    // would pass 4 GiB - 1.
    void WriteData(const void* data, UINT count) override;

protected:
    void ResetTree();
    // Splits the lightest leaf into the old leaf and a new leaf (weight 0) for s.
    void AddLeaf(int s);
    void CountSymbol(int s);
    void HalveWeights();
    void ExchangeNodes(int a, int b);
    // The symbol coders, inline in HuffmanFile.cpp, whose loops hold the bit writer
    // and reader in locals.
    void PutSymbol(CBitWriter& out, int s);
    // Next symbol of the stream; -1 when the stream is corrupt (then damaged) or
    // the symbol ran past the end of the file.
    int GetSymbol(CBitReader& in);

    int m_nLeaf[HUFF_SYMBOL_COUNT];   // node of each symbol's leaf, -1 if absent
    int m_nNextFreeNode;              // first unused node, 3 to 515
    HuffmanNode m_Node[HUFF_NODE_COUNT];
    BOOL m_bEndOfData = FALSE;   // reading: the end-of-data code was decoded
};
