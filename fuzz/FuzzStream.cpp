#include "fuzz/FuzzStream.h"

#include "jobs/StreamCheck.h"
#include "platform/MemFile.h"
#include "streams/StreamFactory.h"
#include "tests/oracle/Oracle.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kReadLimit = 1u << 20;   // bytes delivered per pass at most
constexpr std::size_t kPastEnd = 4096;         // bytes read beyond the original size at most
constexpr std::size_t kBytewiseLimit = 2048;   // one-byte Reads per input at most
constexpr std::size_t kPlainData = 1024;       // input bytes a round trip codes as they are
constexpr std::uint8_t kCanary = 0xA5;

// Every check aborts on failure, which libFuzzer reports with the input.
void Require(bool ok)
{
    if (!ok)
        std::abort();
}

// One stream object per method and direction for the whole run, opened again for
// every pass (as a reopened stream must, it keeps nothing of the last input but the
// memory of its tables).
CCompressedFile& StreamFor(int method, bool writing)
{
    static std::unique_ptr<CCompressedFile> streams[2][4];
    std::unique_ptr<CCompressedFile>& stream = streams[writing][method - METHOD_NONE];
    if (!stream)
        stream.reset(CreateCompressedFile(nullptr, nullptr, method));
    Require(stream != nullptr);
    return *stream;
}

CCompressedFile& OpenForReading(CMemFile& image)
{
    CCompressedFile& file = StreamFor(DetectMethod(image), false);
    Require(file.OpenFile(image, OPEN_READ));
    return file;
}

struct ReadResult {
    Bytes bytes;
    std::vector<std::uint32_t> counts;   // the Read counts used, for the reference
    bool damaged = false;
    bool intact = false;   // it delivered the original size and passed the full check
};

// Reads up to `limit` bytes with counts from `next`; stops after a short Read.  With
// `checkAt` no Read crosses that many bytes, and once they are delivered the full
// integrity check ends the pass.
template <class NextCount>
ReadResult ReadInChunks(CMemFile& image, std::size_t limit, NextCount next, const std::size_t* checkAt = nullptr)
{
    CCompressedFile& file = OpenForReading(image);
    ReadResult r;
    if (checkAt)
        limit = std::min(limit, *checkAt);
    while (r.bytes.size() < limit) {
        UINT count = static_cast<UINT>(std::min<std::size_t>(next(), limit - r.bytes.size()));
        r.counts.push_back(count);
        std::size_t at = r.bytes.size();
        r.bytes.resize(at + count + 8, kCanary);
        UINT got = file.Read(r.bytes.data() + at, count);
        Require(got <= count);
        for (std::size_t i = at + got; i < r.bytes.size(); ++i)
            Require(r.bytes[i] == kCanary);
        r.bytes.resize(at + got);
        if (got < count) {
            // A stream that needed bits past its end delivers nothing more.
            std::uint8_t more[17];
            Require(!file.RanPastEnd() || file.Read(more, sizeof more) == 0);
            break;
        }
    }
    r.damaged = file.IsDamaged();
    JobFault fault;
    if (checkAt && r.bytes.size() == *checkAt)
        r.intact = StreamIntact(file, static_cast<UINT>(r.bytes.size()), fault);
    file.Close();
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
        case 0:
            return pick % 18;
        case 1:
            return pick % 300;
        case 2:
            return pick % 20000;
        default:
            return pick % 300000;
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

// Up to 1 KiB of the input after its mode byte.  Long data (Huffman halvings, LZW
// resets, full transfer buffers) is left to the codec tests, which check it against
// the reference coders: here it would cost as much as a hundred small inputs each,
// and libFuzzer, finding new edges in it, would soon run little else.
Bytes DataFrom(const std::uint8_t* input, std::size_t size)
{
    return Bytes(input + 1, input + std::min<std::size_t>(size, 1 + kPlainData));
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
void RecordProgress(UINT n)
{
    g_progress.push_back(n);
}

// Reads the whole original size in Reads of `chunk` bytes (0: one Read) and runs
// the full integrity check.
Bytes DecodeWhole(CMemFile& image, UINT chunk)
{
    CCompressedFile& file = OpenForReading(image);
    Bytes out(file.m_nOriginalSize);
    for (UINT done = 0; done < out.size();) {
        UINT want = static_cast<UINT>(out.size()) - done;
        if (chunk && chunk < want)
            want = chunk;
        Require(file.Read(out.data() + done, want) == want);
        done += want;
    }
    JobFault fault;
    Require(StreamIntact(file, static_cast<UINT>(out.size()), fault));
    file.Close();
    return out;
}

}   // namespace

void CheckDecoder(int method, const std::uint8_t* data, std::size_t size)
{
    Bytes bytes(g_szMagic[method], g_szMagic[method] + MAGIC_LENGTH);
    bytes.insert(bytes.end(), data, data + size);
    CMemFile image(bytes.data(), bytes.size());
    // Past its end a stream decodes 1 bits without end; a bound in proportion to the
    // input keeps every run short, and none reads far past the original size.
    const std::size_t original
        = bytes.size() >= 12 ? bytes[8] | bytes[9] << 8 | bytes[10] << 16 | std::size_t {bytes[11]} << 24 : 0;
    const std::size_t limit = std::min({kReadLimit, 16 * size + kPastEnd, original + kPastEnd});
    const ReadResult seeded = ReadInChunks(image, limit, SeededCounts(size ? data[0] : 0), &original);
    ExpectLikeReference(bytes, seeded);
    // A file the full check calls intact is one the reference decodes whole.
    Require(!seeded.intact || (seeded.bytes.size() == original && !seeded.damaged));
    ExpectLikeReference(bytes, ReadInChunks(image, std::min(limit, kBytewiseLimit), [] { return UINT {1}; }));
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
    CMemFile image;
    CCompressedFile& writer = StreamFor(method, true);
    Require(writer.OpenFile(image, OPEN_CREATE));
    for (const auto& call : calls)
        writer.WriteData(call.data(), static_cast<UINT>(call.size()));
    writer.Close();

    oracle::Encoded ref = oracle::Encode(method, calls);
    Require(image.Data() == ref.file);
    Require(g_progress == ref.progress);
    // What a writer makes reads back whole and passes the full check, end code and
    // sizes included, in one Read or in small ones.
    Require(DecodeWhole(image, (mode & 0x20) ? 0 : 1 + (mode & 0x1F) * 37) == data);
}

}   // namespace fuzz
