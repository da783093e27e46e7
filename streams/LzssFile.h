// CLzssFile: the LZSS stream, method 1, magic "**++LZSS".
//
// Bytes are coded as tokens over a sliding window of the last 4096 bytes.  The
// payload follows the 16-byte header and is packed most significant bit first:
//   literal     1, then the byte (8 bits)                          9 bits
//   match       0, window position (12 bits, 1..4095), length - 2   17 bits
//               (4 bits: lengths 2..17); the string may run past
//               position 4095 and on at 0, and may overlap the bytes it makes
//   end marker  0, then 12 zero bits                                13 bits
// The window starts as 4096 zero bytes and the first data byte takes position 1;
// all position arithmetic is modulo 4096.  The up to seven bits left after the end
// marker are not stored, and the compressed size counts whole bytes only.
//
// The writer finds the longest match with a binary search tree over the window
// positions (position 0 is never entered; entry 4096 is the root).  The tree's
// exact workings decide which match is sent, so it is kept as it always was,
// including the writes that land on entry 0.  The writer takes the whole data in
// one WriteData call (calls that together hold fewer than 17 bytes may come first).
//
// The reader decodes each token from one look at the next 17 bits, copies matches
// in blocks (byte by byte only where a match overlaps the bytes it produces) and
// keeps the bytes of a match that do not fit into a Read in a side buffer for the
// next Read.
#pragma once

#include "streams/CompressedFile.h"

#include <cstdint>

constexpr UINT LZSS_WINDOW_SIZE = 4096;
constexpr int LZSS_INDEX_BITS = 12;
constexpr int LZSS_LENGTH_BITS = 4;
constexpr int LZSS_LOOK_AHEAD = 17;   // look-ahead bytes, also the longest match
constexpr int LZSS_MIN_MATCH = 2;     // a single byte always goes as a literal
constexpr UINT LZSS_TREE_ROOT = 4096;
constexpr UINT LZSS_UNUSED = 0;
constexpr UINT LZSS_PENDING_SIZE = 16000;   // bytes of the reader's side buffer

struct LzssTreeNode {
    UINT nParent;    // entry whose child this is; 0: the position is not in the tree
    UINT nSmaller;   // child whose string compared smaller; 0 for none
    UINT nLarger;    // child whose string compared larger; 0 for none
};

class CLzssFile : public CCompressedFile {
public:
    CLzssFile() : CCompressedFile(METHOD_LZSS) {}
    ~CLzssFile() override;

    BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr) override;
    // Delivers up to count decoded bytes; fewer only when the end marker is read or a
    // token would need bits past the end of the file (RanPastEnd), after which nothing
    // more is decoded.
    UINT Read(void* buffer, UINT count) override;
    bool ReadEndCode() override;
    void Close() override;
    // Codes count bytes.  Once coding has run to the end of a call's data the stream
    // takes no more: a later call with bytes throws CFileException (invalidFile,
    // EINVAL) and leaves the stream and its sizes as they were.
    void WriteData(const void* data, UINT count) override;

protected:
    // Writer.
    void EncodeData(const std::uint8_t* data, BOOL inputEnded);
    void ResetSearchTree();
    int InsertString(UINT newPos);
    void RemoveString(UINT p);
    void SpliceOut(UINT oldNode, UINT newNode);
    void TransplantNode(UINT oldNode, UINT newNode);
    UINT FindPredecessor(UINT p) const;

    // Reader.
    UINT DecodeFast(std::uint8_t* out, UINT pos, UINT count);
    UINT DecodeTail(std::uint8_t* out, UINT pos, UINT count);

    // Writer: filling the look-ahead, starting to code, coding.
    enum class EncodeState { Filling, Starting, Coding };
    EncodeState m_nEncodeState = EncodeState::Filling;
    UINT m_nCurrentPos = 1;               // window position of the next byte to code or to store
    int m_nLookAhead = 0;                 // writer: look-ahead bytes not yet coded
    int m_nReplaceCount = 0;              // writer: bytes covered by the token just written
    int m_nMatchLength = 0;               // writer: best match length; reader: length field + 1
    UINT m_nMatchPos = 0;                 // window position where that match starts
    UINT m_nInputLeft = 0;                // writer: caller's bytes not yet taken
    int m_nFilled = 0;                    // writer: bytes put into the look-ahead before coding, 0..17
    UINT m_nDataPos = 0;                  // writer: next byte to take; reader: next byte to fill
    UINT m_nPendingCount = 0;             // reader: decoded bytes waiting in the side buffer
    UINT m_nPendingPos = 0;               // reader: next side-buffer byte to hand out
    std::uint8_t* m_pPending = nullptr;   // reader's side buffer, LZSS_PENDING_SIZE bytes
    std::uint8_t m_Window[LZSS_WINDOW_SIZE] = {};
    LzssTreeNode m_Tree[LZSS_WINDOW_SIZE + 1] = {};

private:
    bool m_bEndSeen = false;   // reader: the end marker was read; nothing more is decoded
};
