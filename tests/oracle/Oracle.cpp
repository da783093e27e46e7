// Entry points of the reference codecs: one writer per method fed call by call, and one reader
// per method driven by a list of Read counts. The stored method is the buffer layer alone:
// WriteData is WriteBuffered with progress on, Read is ReadBuffered.
#include "tests/oracle/OracleStream.h"

namespace oracle {

namespace {

Encoded EncodeStored(const std::vector<std::vector<std::uint8_t>>& calls)
{
    StreamWriter out(-1);
    for (const auto& call : calls)
        out.WriteBuffered(call.data(), static_cast<std::uint32_t>(call.size()), true);
    return out.Close();
}

template <class Writer>
Encoded EncodeWith(const std::vector<std::vector<std::uint8_t>>& calls)
{
    Writer writer;
    for (const auto& call : calls)
        writer.WriteData(call.data(), static_cast<std::uint32_t>(call.size()));
    return writer.Close();
}

}   // namespace

Encoded Encode(int method, const std::vector<std::vector<std::uint8_t>>& calls)
{
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

Encoded Encode(int method, const std::vector<std::uint8_t>& data)
{
    return Encode(method, std::vector<std::vector<std::uint8_t>> {data});
}

std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& file, const std::vector<std::uint32_t>& counts,
                                 bool* damaged)
{
    StreamReader in(file);
    std::vector<std::uint8_t> out;
    bool bad = false;
    // Only the method's reader is made: the LZW reader's tables alone are over 400 KB.
    auto readAll = [&](auto read) {
        for (std::uint32_t count : counts) {
            const std::uint32_t got = read(count);
            if (bad || got < count)
                break;
        }
    };
    switch (in.m_nMethod) {
    case 0: {
        HuffmanReader huffman(in);
        readAll([&](std::uint32_t count) { return huffman.Read(out, count, bad); });
        break;
    }
    case 1: {
        LzssReader lzss(in);
        readAll([&](std::uint32_t count) { return lzss.Read(out, count); });
        break;
    }
    case 2: {
        LzwReader lzw(in);
        readAll([&](std::uint32_t count) { return lzw.Read(out, count, bad); });
        break;
    }
    default:
        readAll([&](std::uint32_t count) {
            const std::size_t at = out.size();
            out.resize(at + count);
            const std::uint32_t got = in.ReadBuffered(out.data() + at, count);
            out.resize(at + got);
            return got;
        });
        break;
    }
    if (damaged != nullptr)
        *damaged = bad;
    return out;
}

std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& file)
{
    return Decode(file, {StreamReader(file).m_nOriginalSize});
}

}   // namespace oracle
