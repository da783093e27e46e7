#include "fuzz/FuzzStream.h"

#include "jobs/StreamCheck.h"
#include "streams/StreamFactory.h"
#include "tests/oracle/Oracle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kReadLimit = 1u << 20;     // bytes delivered per pass at most
constexpr std::size_t kPastEnd = 4096;           // bytes read beyond what the input can code
constexpr std::size_t kBytewiseLimit = 20000;    // one-byte Reads per input at most
constexpr std::uint8_t kCanary = 0xA5;

// Every check aborts on failure, which libFuzzer reports with the input.
void Require(bool ok)
{
    if (!ok)
        std::abort();
}

const std::string& TempPath()
{
    static const std::string path = "/tmp/tamble-fuzz-" + std::to_string(getpid());
    return path;
}

void WriteBytes(const Bytes& bytes)
{
    FILE* f = std::fopen(TempPath().c_str(), "wb");
    Require(f != nullptr);
    Require(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    Require(std::fclose(f) == 0);
}

Bytes ReadBytes()
{
    Bytes bytes;
    FILE* f = std::fopen(TempPath().c_str(), "rb");
    Require(f != nullptr);
    std::uint8_t block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, f)) > 0;)
        bytes.insert(bytes.end(), block, block + got);
    std::fclose(f);
    return bytes;
}

std::unique_ptr<CCompressedFile> OpenForReading()
{
    std::unique_ptr<CCompressedFile> file(CreateCompressedFile(TempPath().c_str(), nullptr, METHOD_LZW));
    Require(file && file->Open(TempPath().c_str(), OPEN_READ));
    return file;
}

struct ReadResult {
    Bytes bytes;
    std::vector<std::uint32_t> counts;   // the Read counts used, for the reference
    bool damaged = false;
};

// Reads up to `limit` bytes with counts from `next`; stops after a short Read.
template <class NextCount>
ReadResult ReadInChunks(std::size_t limit, NextCount next)
{
    auto file = OpenForReading();
    ReadResult r;
    while (r.bytes.size() < limit) {
        UINT count = static_cast<UINT>(std::min<std::size_t>(next(), limit - r.bytes.size()));
        r.counts.push_back(count);
        std::size_t at = r.bytes.size();
        r.bytes.resize(at + count + 8, kCanary);
        UINT got = file->Read(r.bytes.data() + at, count);
        Require(got <= count);
        for (std::size_t i = at + got; i < r.bytes.size(); ++i)
            Require(r.bytes[i] == kCanary);
        r.bytes.resize(at + got);
        if (got < count) {
            // A stream that needed bits past its end delivers nothing more.
            std::uint8_t more[17];
            Require(!file->RanPastEnd() || file->Read(more, sizeof more) == 0);
            break;
        }
    }
    r.damaged = file->IsDamaged();
    file->Close();
    return r;
}

// Read counts from tiny to large, drawn from a seed.
class SeededCounts {
public:
    explicit SeededCounts(std::uint32_t seed) : m_seed(seed * 2654435761u + 1) {}
    UINT operator()()
    {
        m_seed = m_seed * 1103515245u + 12345u;
        UINT pick = m_seed >> 16;
        switch (pick % 4) {
        case 0: return pick % 18;
        case 1: return pick % 300;
        case 2: return pick % 20000;
        default: return pick % 300000;
        }
    }

private:
    std::uint32_t m_seed;
};

void ExpectLikeReference(const Bytes& image, const ReadResult& r)
{
    bool damaged = false;
    Require(oracle::Decode(image, r.counts, &damaged) == r.bytes);
    Require(damaged == r.damaged);
}

// The input after its mode byte, optionally repeated with sparse noise to a few
// hundred KB: long strings, Huffman halvings and LZW resets.
Bytes DataFrom(const std::uint8_t* input, std::size_t size)
{
    const std::uint8_t mode = input[0];
    Bytes data(input + 1, input + size);
    if ((mode & 0x80) && !data.empty()) {
        std::uint32_t rng = mode * 2654435761u + 1;
        const std::size_t target = 34000 + (mode & 0x0F) * 8000;
        for (std::size_t i = 0; data.size() < target; ++i) {
            rng = rng * 1103515245u + 12345u;
            std::uint8_t b = input[1 + i % (size - 1)];
            data.push_back((rng >> 16) % 23 == 0 ? static_cast<std::uint8_t>(rng >> 24) : b);
        }
    }
    return data;
}

// How the data reaches WriteData.  The LZSS writer takes its data in one call after
// fewer than 17 bytes of earlier calls; the others accept any split.
std::vector<Bytes> CallsFor(int method, std::uint8_t mode, const Bytes& data)
{
    std::vector<Bytes> calls;
    if (!(mode & 0x40)) {
        calls.push_back(data);
    } else if (method == METHOD_LZSS) {
        std::size_t first = std::min<std::size_t>(mode & 0x0F, data.size());
        calls.emplace_back(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(first));
        calls.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(first), data.end());
    } else {
        for (std::size_t at = 0, k = 0; at < data.size(); ++k) {
            std::size_t len = data[k % data.size()] % ((mode & 0x3F) + 1);
            if (k % 1000 == 999)
                len = 5000;
            len = std::min(len, data.size() - at);
            calls.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                               data.begin() + static_cast<std::ptrdiff_t>(at + len));
            at += len;
        }
    }
    return calls;
}

std::vector<std::uint32_t> g_progress;
void RecordProgress(UINT n) { g_progress.push_back(n); }

Bytes DecodeWhole(UINT chunk)
{
    auto file = OpenForReading();
    Bytes out(file->m_nOriginalSize);
    for (UINT done = 0; done < out.size();) {
        UINT want = static_cast<UINT>(out.size()) - done;
        if (chunk && chunk < want)
            want = chunk;
        Require(file->Read(out.data() + done, want) == want);
        done += want;
    }
    Require(!file->RanPastEnd() && !file->IsDamaged());
    file->Close();
    return out;
}

} // namespace

void CheckDecoder(int method, const std::uint8_t* data, std::size_t size)
{
    Bytes image(g_szMagic[method], g_szMagic[method] + MAGIC_LENGTH);
    image.insert(image.end(), data, data + size);
    WriteBytes(image);
    // Past its end a stream decodes 1 bits without end; a bound in proportion to the
    // input keeps every run short.
    std::size_t limit = std::min(kReadLimit, 16 * size + kPastEnd);
    ExpectLikeReference(image, ReadInChunks(limit, SeededCounts(size ? data[0] : 0)));
    ExpectLikeReference(image, ReadInChunks(kBytewiseLimit, [] { return UINT{1}; }));
    // The full check: a file it calls intact decodes its whole original size.
    const UINT original = image.size() >= 12 ? image[8] | image[9] << 8 | image[10] << 16 | UINT{image[11]} << 24 : 0;
    if (original <= limit) {
        StreamSummary summary;
        std::string cause;
        if (CheckFile(TempPath(), true, summary, cause) == CheckResult::Intact) {
            bool damaged = false;
            Require(oracle::Decode(image, {original}, &damaged).size() == original && !damaged);
        }
    }
    std::remove(TempPath().c_str());
}

void CheckRoundTrip(int method, const std::uint8_t* input, std::size_t size)
{
    if (size == 0)
        return;
    const std::uint8_t mode = input[0];
    Bytes data = DataFrom(input, size);
    std::vector<Bytes> calls = CallsFor(method, mode, data);

    g_progress.clear();
    g_pfnProgress = RecordProgress;
    std::unique_ptr<CCompressedFile> writer(CreateCompressedFile(nullptr, nullptr, method));
    Require(writer && writer->Open(TempPath().c_str(), OPEN_CREATE));
    for (const auto& call : calls)
        writer->WriteData(call.data(), static_cast<UINT>(call.size()));
    writer->Close();

    oracle::Encoded ref = oracle::Encode(method, calls);
    Require(ReadBytes() == ref.file);
    Require(g_progress == ref.progress);
    Require(DecodeWhole(0) == data);
    Require(DecodeWhole(1 + (mode & 0x1F) * 37) == data);
    // What a writer makes passes the full check, end code and sizes included.
    StreamSummary summary;
    std::string cause;
    Require(CheckFile(TempPath(), true, summary, cause) == CheckResult::Intact);
    std::remove(TempPath().c_str());
}

} // namespace fuzz
