// Inner parts of the reference codecs, open to the oracle's own tests: the shared byte and bit
// stream (writer and reader over an in-memory file) and the coder classes of each method.
// Members keep the production names so a failing comparison can be traced step by step.
#pragma once

#include "tests/oracle/Oracle.h"

#include <array>
#include <cstdint>
#include <vector>

namespace oracle {

constexpr std::uint32_t kBufferSize = 32000;   // the transfer buffer between coder and file
constexpr std::uint32_t kHeaderSize = 16;

// The method a file image shows by its 8-byte magic; -1 when it shows none.
int DetectMethod(const std::vector<std::uint8_t>& file);

// A stream opened in create mode: header, 32000-byte transfer buffer, bit writer.
class StreamWriter {
public:
    explicit StreamWriter(int method);
    void WriteBuffered(const std::uint8_t* data, std::uint32_t count, bool progress);
    void WriteByte(int c);
    void OutputBit(int bit);
    void OutputBits(std::uint32_t code, int bits, int progressPos, bool progress);
    Encoded Close();   // base Close (rest of the buffer, no partial bit byte), then the header update

    int m_nMethod;
    std::uint32_t m_nOriginalSize = 0;
    std::uint32_t m_nCompressedSize = 0;
    int m_nRack = 0;
    int m_nMask = 0x80;

private:
    Encoded m_Out;
    std::vector<std::uint8_t> m_Buffer;
    std::uint32_t m_nFilePos = 0;
    std::uint32_t m_nBufCount = 0;
    std::uint32_t m_nBufIndex = 0;
};

// A stream opened for reading: method from the magic, size fields, buffered bytes, bit reader.
class StreamReader {
public:
    explicit StreamReader(std::vector<std::uint8_t> file);
    std::uint32_t ReadBuffered(std::uint8_t* out, std::uint32_t count);
    int ReadByte();
    int InputBit();
    std::uint32_t InputBits(int bits);
    bool PastEnd() const { return m_bPastEnd; }   // a bit was taken past the end of the file

    int m_nMethod;
    std::uint32_t m_nOriginalSize = 0;
    std::uint32_t m_nCompressedSize = 0;

private:
    std::uint32_t FileRead(std::uint8_t* out, std::uint32_t count);   // fewer than asked at the end

    std::vector<std::uint8_t> m_File;
    std::size_t m_nFileCursor = 0;
    std::vector<std::uint8_t> m_Buffer;
    std::uint32_t m_nFilePos = 0;
    std::uint32_t m_nFileLength = 0;
    std::uint32_t m_nBufCount = 0;
    std::uint32_t m_nBufIndex = 0;
    int m_nRack = 0;
    int m_nMask = 0x80;
    bool m_bPastEnd = false;
};

// ---- Huffman -------------------------------------------------------------------------------

constexpr int kHuffSymbols = 258;
constexpr int kHuffEndOfData = 256;
constexpr int kHuffEscape = 257;
constexpr int kHuffNodes = 515;
constexpr std::uint32_t kHuffMaxWeight = 32768;

struct HuffmanNode {
    std::uint32_t nWeight;
    std::int32_t nParent;
    std::int32_t bChildIsLeaf;
    std::int32_t nChild;
};

// The adaptive tree shared by writer and reader.
class HuffmanModel {
public:
    HuffmanModel() { ResetTree(); }
    void ResetTree();
    bool AddLeaf(int s);   // false (tree unchanged) when the node table is full
    void CountSymbol(int s);
    void HalveWeights();
    void ExchangeNodes(int a, int b);

    std::array<std::int32_t, kHuffSymbols> m_nLeaf {};
    std::int32_t m_nNextFreeNode = 0;
    std::array<HuffmanNode, kHuffNodes> m_Node {};
};

class HuffmanWriter {
public:
    void WriteData(const std::uint8_t* data, std::uint32_t count);
    Encoded Close();
    HuffmanModel m_Model;

private:
    void PutSymbol(int s);
    StreamWriter m_Out {0};
};

class HuffmanReader {
public:
    explicit HuffmanReader(StreamReader& in) : m_In(in) {}
    // Appends up to count bytes to out; sets damaged and stops on a corrupt stream.
    std::uint32_t Read(std::vector<std::uint8_t>& out, std::uint32_t count, bool& damaged);
    HuffmanModel m_Model;

private:
    int GetSymbol(bool& damaged);   // -1 when damaged
    StreamReader& m_In;
};

// ---- LZSS ----------------------------------------------------------------------------------

constexpr std::uint32_t kLzssWindowSize = 4096;
constexpr int kLzssIndexBits = 12;
constexpr int kLzssLengthBits = 4;
constexpr int kLzssLookAhead = 17;
constexpr std::uint32_t kLzssTreeRoot = 4096;
constexpr std::uint32_t kLzssUnused = 0;
constexpr std::uint32_t kLzssPendingSize = 16000;

struct LzssTreeNode {
    std::uint32_t nParent;
    std::uint32_t nSmaller;
    std::uint32_t nLarger;
};

class LzssWriter {
public:
    void WriteData(const std::uint8_t* data, std::uint32_t count);
    Encoded Close();

private:
    void EncodeData(const std::uint8_t* data, bool inputEnded);
    bool TakeByte(const std::uint8_t* data, std::uint8_t& c);
    void ResetSearchTree();
    int InsertString(std::uint32_t newPos);
    void RemoveString(std::uint32_t p);
    void SpliceOut(std::uint32_t oldNode, std::uint32_t newNode);
    void TransplantNode(std::uint32_t oldNode, std::uint32_t newNode);
    std::uint32_t FindPredecessor(std::uint32_t p);

    StreamWriter m_Out {1};
    std::int32_t m_nEncodeState = 0;
    std::uint32_t m_nCurrentPos = 1;
    std::int32_t m_nLookAhead = 0;
    std::int32_t m_nReplaceCount = 0;
    std::int32_t m_nMatchLength = 0;
    std::uint32_t m_nMatchPos = 0;
    std::uint32_t m_nInputLeft = 0;
    std::int32_t m_nFilled = 0;
    std::uint32_t m_nDataPos = 0;
    std::array<std::uint8_t, kLzssWindowSize> m_Window {};
    std::array<LzssTreeNode, kLzssWindowSize + 1> m_Tree {};
};

class LzssReader {
public:
    explicit LzssReader(StreamReader& in) : m_In(in), m_Pending(kLzssPendingSize) {}
    std::uint32_t Read(std::vector<std::uint8_t>& out, std::uint32_t count);

private:
    StreamReader& m_In;
    std::array<std::uint8_t, kLzssWindowSize> m_Window {};
    std::uint32_t m_nCurrentPos = 1;
    std::uint32_t m_nMatchPos = 0;
    std::int32_t m_nMatchLength = 0;
    std::uint32_t m_nPendingCount = 0;
    std::uint32_t m_nPendingPos = 0;
    std::vector<std::uint8_t> m_Pending;
};

// ---- LZW -----------------------------------------------------------------------------------

constexpr std::uint32_t kLzwEndOfData = 256;
constexpr std::uint32_t kLzwWiden = 257;
constexpr std::uint32_t kLzwReset = 258;
constexpr std::uint32_t kLzwFirstFree = 259;
constexpr std::uint32_t kLzwMaxCode = 32767;
constexpr std::uint32_t kLzwHashSize = 35023;
constexpr std::uint32_t kLzwEntries = 137 * 256;   // all entries of the 137 banks

struct LzwEntry {
    std::int32_t nCode;      // writer: code of the string in this slot, -1 while free
    std::uint32_t nParent;   // code of the string this one extends
    std::uint8_t nCharacter;
};

class LzwWriter {
public:
    LzwWriter();
    void WriteData(const std::uint8_t* data, std::uint32_t count);
    Encoded Close();

private:
    void ResetDictionary();
    std::uint32_t FindSlot(std::uint32_t parent, int character);

    StreamWriter m_Out {2};
    std::vector<LzwEntry>& m_Dict;   // the thread's one table, made once
    std::uint32_t m_nNextCode = 0;
    std::uint32_t m_nCodeBits = 0;
    std::uint32_t m_nWidenLimit = 0;
    bool m_bFirstByteTaken = false;
    int m_nCharacter = 0;
    std::uint32_t m_nStringCode = 0;
    std::uint32_t m_nSlot = 0;
};

class LzwReader {
public:
    explicit LzwReader(StreamReader& in);
    std::uint32_t Read(std::vector<std::uint8_t>& out, std::uint32_t count, bool& damaged);

private:
    void ResetDictionary();
    bool DecodeString(std::uint32_t& k, std::uint32_t code);   // false when the chain is corrupt

    StreamReader& m_In;
    // The thread's one pair of tables, made once: a reader writes every entry it
    // reads in the same dictionary period, so what an earlier reader left is never read.
    std::vector<LzwEntry>& m_Dict;
    std::vector<std::uint8_t>& m_DecodeStack;
    std::uint32_t m_nNextCode = 0;
    std::uint32_t m_nCodeBits = 0;
    int m_nCharacter = 0;
    std::uint32_t m_nNewCode = 0;
    std::uint32_t m_nOldCode = 0;
    std::uint32_t m_nStackCount = 0;
    std::uint32_t m_nReadState = 0;
};

}   // namespace oracle
