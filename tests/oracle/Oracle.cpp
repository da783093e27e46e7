// Entry points of the reference codecs: one writer per method fed call by call, and one reader
// per method driven by a list of Read counts. The stored method is the buffer layer alone:
// WriteData is WriteBuffered with progress on, Read is ReadBuffered.
#include "tests/oracle/OracleStream.h"

namespace oracle {

namespace {

Encoded EncodeStored(const std::vector<std::vector<std::uint8_t>>& calls) {
    StreamWriter out(-1);
    for (const auto& call : calls)
        out.WriteBuffered(call.data(), static_cast<std::uint32_t>(call.size()), true);
    return out.Close();
}

template <class Writer>
Encoded EncodeWith(const std::vector<std::vector<std::uint8_t>>& calls) {
    Writer writer;
    for (const auto& call : calls)
        writer.WriteData(call.data(), static_cast<std::uint32_t>(call.size()));
    return writer.Close();
}

} // namespace

Encoded Encode(int method, const std::vector<std::vector<std::uint8_t>>& calls) {
    switch (method) {
    case 0:
        return EncodeWith<HuffmanWriter>(calls);
    case 1:
        return EncodeWith<LzssWriter>(calls);
    case 2:
        return EncodeWith<LzwWriter>(calls);
    default:
        return EncodeStored(calls);
    }
}

Encoded Encode(int method, const std::vector<std::uint8_t>& data) {
    return Encode(method, std::vector<std::vector<std::uint8_t>>{data});
}

std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& file, const std::vector<std::uint32_t>& counts,
                                 bool* damaged) {
    StreamReader in(file);
    HuffmanReader huffman(in);
    LzssReader lzss(in);
    LzwReader lzw(in);
    std::vector<std::uint8_t> out;
    bool bad = false;
    for (std::uint32_t count : counts) {
        std::uint32_t got = 0;
        switch (in.m_nMethod) {
        case 0:
            got = huffman.Read(out, count, bad);
            break;
        case 1:
            got = lzss.Read(out, count);
            break;
        case 2:
            got = lzw.Read(out, count, bad);
            break;
        default: {
            const std::size_t at = out.size();
            out.resize(at + count);
            got = in.ReadBuffered(out.data() + at, count);
            out.resize(at + got);
            break;
        }
        }
        if (bad || got < count)
            break;
    }
    if (damaged != nullptr)
        *damaged = bad;
    return out;
}

std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& file) {
    return Decode(file, {StreamReader(file).m_nOriginalSize});
}

} // namespace oracle
