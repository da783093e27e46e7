// Reference LZW coder.
// Bit format: codes most significant bit first, 9 bits wide at the start of each dictionary
// period. 0..255 bytes, 256 end of data, 257 widen (every later code one bit wider), 258 reset
// (dictionary cleared, back to 9 bits, next code is a byte), 259..32767 dictionary strings.
// The writer emits widen at the old width after the code whose emission assigned 511, 1023, ...,
// 16383, and reset at 15 bits after the one that assigned 32767. Close emits the pending string
// code (0 for an empty stream) and the end code; an incomplete last byte is not stored.
#include "tests/oracle/OracleStream.h"

#include <algorithm>

namespace oracle {

// ---- writer --------------------------------------------------------------------------------

namespace {

// The writer's table, made once per thread: ResetDictionary frees every slot it probes.
std::vector<LzwEntry>& WriterDictionary()
{
    thread_local std::vector<LzwEntry> dict(kLzwEntries, LzwEntry {0, 0, 0});
    return dict;
}

}   // namespace

LzwWriter::LzwWriter() : m_Dict(WriterDictionary())
{
    ResetDictionary();
}

void LzwWriter::ResetDictionary()
{
    for (std::uint32_t slot = 0; slot < kLzwHashSize; ++slot)
        m_Dict[slot].nCode = -1;
    m_nNextCode = kLzwFirstFree;
    m_nCodeBits = 9;
    m_nWidenLimit = 511;
}

std::uint32_t LzwWriter::FindSlot(std::uint32_t parent, int character)
{
    std::uint32_t h = (static_cast<std::uint32_t>(character) << 7) ^ parent;
    const std::uint32_t step = h == 0 ? 1 : kLzwHashSize - h;
    for (;;) {
        const LzwEntry& e = m_Dict[h];
        if (e.nCode == -1)
            return h;
        if (e.nParent == parent && e.nCharacter == static_cast<std::uint8_t>(character))
            return h;
        if (h >= step)
            h -= step;
        else
            h = h + kLzwHashSize - step;
    }
}

void LzwWriter::WriteData(const std::uint8_t* data, std::uint32_t count)
{
    m_Out.m_nOriginalSize += count;
    std::uint32_t p = 0;
    if (!m_bFirstByteTaken && count > 0) {
        m_nStringCode = data[0];
        m_bFirstByteTaken = true;
        p = 1;
    }
    for (; p < count; ++p) {
        m_nCharacter = data[p];
        m_nSlot = FindSlot(m_nStringCode, m_nCharacter);
        LzwEntry& e = m_Dict[m_nSlot];
        if (e.nCode != -1) {
            m_nStringCode = static_cast<std::uint32_t>(e.nCode);
            continue;
        }
        e.nCode = static_cast<std::int32_t>(m_nNextCode);
        e.nParent = m_nStringCode;
        e.nCharacter = static_cast<std::uint8_t>(m_nCharacter);
        ++m_nNextCode;
        m_Out.OutputBits(m_nStringCode, static_cast<int>(m_nCodeBits), static_cast<int>(p), true);
        m_nStringCode = static_cast<std::uint32_t>(m_nCharacter);
        if (m_nNextCode > kLzwMaxCode) {
            m_Out.OutputBits(kLzwReset, static_cast<int>(m_nCodeBits), 0, false);
            ResetDictionary();
        } else if (m_nNextCode > m_nWidenLimit) {
            m_Out.OutputBits(kLzwWiden, static_cast<int>(m_nCodeBits), 0, false);
            ++m_nCodeBits;
            m_nWidenLimit = 2 * m_nWidenLimit + 1;
        }
    }
}

Encoded LzwWriter::Close()
{
    m_Out.OutputBits(m_nStringCode, static_cast<int>(m_nCodeBits), 0, false);
    m_Out.OutputBits(kLzwEndOfData, static_cast<int>(m_nCodeBits), 0, false);
    return m_Out.Close();
}

// ---- reader --------------------------------------------------------------------------------

namespace {

std::vector<LzwEntry>& ReaderDictionary()
{
    thread_local std::vector<LzwEntry> dict(kLzwEntries, LzwEntry {0, 0, 0});
    return dict;
}

std::vector<std::uint8_t>& ReaderStack()
{
    thread_local std::vector<std::uint8_t> stack(kLzwHashSize, 0);
    return stack;
}

}   // namespace

LzwReader::LzwReader(StreamReader& in) : m_In(in), m_Dict(ReaderDictionary()), m_DecodeStack(ReaderStack())
{
    ResetDictionary();
}

void LzwReader::ResetDictionary()
{
    // The reader links entries by their codes and never reads the writer's slot codes.
    m_nNextCode = kLzwFirstFree;
    m_nCodeBits = 9;
}

// Pushes the string of `code` onto the stack from position k, last byte first.
bool LzwReader::DecodeString(std::uint32_t& k, std::uint32_t code)
{
    while (code > 255) {
        if (k >= kLzwHashSize || code >= kLzwEntries)
            return false;
        m_DecodeStack[k] = m_Dict[code].nCharacter;
        ++k;
        code = m_Dict[code].nParent;
    }
    if (k >= kLzwHashSize)
        return false;
    m_DecodeStack[k] = static_cast<std::uint8_t>(code);
    ++k;
    return true;
}

std::uint32_t LzwReader::Read(std::vector<std::uint8_t>& out, std::uint32_t count, bool& damaged)
{
    std::uint32_t n = 0;
    if (count == 0)
        return 0;
    auto deliver = [&](int b) {
        out.push_back(static_cast<std::uint8_t>(b));
        return ++n == count;
    };
    enum class Step { A, B, C, D, E };
    Step step = m_nReadState == 1 ? Step::B : m_nReadState == 2 ? Step::D : Step::A;
    for (;;) {
        switch (step) {
        case Step::A:   // start of a dictionary period: the first code is a byte
            m_nReadState = 1;
            ResetDictionary();
            m_nOldCode = m_In.InputBits(static_cast<int>(m_nCodeBits));
            if (m_In.PastEnd())
                return n;
            if (m_nOldCode == kLzwEndOfData)
                return n;
            if (m_nOldCode > 255) {
                damaged = true;
                return n;
            }
            m_nCharacter = static_cast<int>(m_nOldCode);
            if (deliver(m_nCharacter & 0xFF))
                return n;
            step = Step::B;
            break;
        case Step::B:
            m_nReadState = 2;
            step = Step::C;
            break;
        case Step::C:
            m_nNewCode = m_In.InputBits(static_cast<int>(m_nCodeBits));
            if (m_In.PastEnd())
                return n;
            if (m_nNewCode == kLzwEndOfData)
                return n;
            if (m_nNewCode == kLzwReset) {
                step = Step::A;
                break;
            }
            if (m_nNewCode == kLzwWiden) {
                if (m_nCodeBits >= 15) {
                    damaged = true;
                    return n;
                }
                ++m_nCodeBits;
                break;
            }
            if (m_nNewCode > m_nNextCode) {   // neither defined nor being defined
                damaged = true;
                return n;
            }
            if (m_nNewCode == m_nNextCode) {
                m_DecodeStack[0] = static_cast<std::uint8_t>(m_nCharacter);
                m_nStackCount = 1;
                if (!DecodeString(m_nStackCount, m_nOldCode)) {
                    damaged = true;
                    return n;
                }
            } else {
                m_nStackCount = 0;
                if (!DecodeString(m_nStackCount, m_nNewCode)) {
                    damaged = true;
                    return n;
                }
            }
            m_nCharacter = m_DecodeStack[m_nStackCount - 1];
            step = Step::D;
            break;
        case Step::D:
            while (m_nStackCount > 0) {
                --m_nStackCount;
                if (deliver(m_DecodeStack[m_nStackCount]))
                    return n;
            }
            step = Step::E;
            break;
        case Step::E:
            if (m_nNextCode >= kLzwEntries) {   // the banks hold no further entry
                damaged = true;
                return n;
            }
            m_Dict[m_nNextCode].nParent = m_nOldCode;
            m_Dict[m_nNextCode].nCharacter = static_cast<std::uint8_t>(m_nCharacter);
            ++m_nNextCode;
            m_nOldCode = m_nNewCode;
            step = Step::C;
            break;
        }
    }
}

}   // namespace oracle
