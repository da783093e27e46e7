// Middle shortening of paths.  The width of a head and tail joined by the
// ellipsis grows with the characters kept, so the longest fitting split is
// found by binary search: a few measurements even for very long paths.
#include "app/PathShorten.h"

#include <vector>

const char kPathEllipsis[] = "\xE2\x80\xA6";

namespace {

// Byte offsets of the code points of a UTF-8 text, and the text's size last.
std::vector<std::size_t> CodePointStarts(const std::string& text)
{
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    starts.push_back(text.size());
    return starts;
}

class Splitter {
public:
    Splitter(const std::string& text, double maxWidth, const TextMeasure& measure)
        : m_text(text), m_starts(CodePointStarts(text)), m_maxWidth(maxWidth), m_measure(measure)
    {}

    std::size_t Count() const { return m_starts.size() - 1; }

    std::string Join(std::size_t head, std::size_t tail) const
    {
        std::size_t tailStart = m_starts[Count() - tail];
        return m_text.substr(0, m_starts[head]) + kPathEllipsis + m_text.substr(tailStart);
    }

    bool Fits(std::size_t head, std::size_t tail) const { return m_measure(Join(head, tail)) <= m_maxWidth; }

    // Largest k in [0, limit] for which fits(k) holds, given fits(0) holds.
    template <typename F>
    static std::size_t LargestFitting(std::size_t limit, F fits)
    {
        std::size_t low = 0;
        std::size_t high = limit;
        while (low < high) {
            std::size_t mid = low + (high - low + 1) / 2;
            if (fits(mid))
                low = mid;
            else
                high = mid - 1;
        }
        return low;
    }

    // Code points of the file name with the '/' before it.
    std::size_t NameLength() const
    {
        std::size_t slash = m_text.rfind('/');
        if (slash == std::string::npos)
            return Count() + 1;   // no folder part: there is no name to keep apart
        std::size_t length = 0;
        for (std::size_t i = 0; i < Count(); ++i)
            if (m_starts[i] >= slash)
                ++length;
        return length;
    }

private:
    const std::string& m_text;
    std::vector<std::size_t> m_starts;
    double m_maxWidth;
    const TextMeasure& m_measure;
};

}   // namespace

std::string ShortenPathMiddle(const std::string& text, double maxWidth, const TextMeasure& measure)
{
    if (measure(text) <= maxWidth)
        return text;
    if (measure(kPathEllipsis) > maxWidth)
        return std::string();

    Splitter split(text, maxWidth, measure);
    std::size_t count = split.Count();
    std::size_t keep = count - 1;   // at least one code point goes

    // Keep the file name whole when it fits, then share the rest.
    std::size_t name = split.NameLength();
    std::size_t tail = 0;
    if (name <= keep && split.Fits(0, name))
        tail = name;
    std::size_t extra
        = Splitter::LargestFitting(keep - tail, [&](std::size_t k) { return split.Fits((k + 1) / 2, tail + k / 2); });
    return split.Join((extra + 1) / 2, tail + extra / 2);
}

std::string ShortenTextEnd(const std::string& text, double maxWidth, const TextMeasure& measure)
{
    if (measure(text) <= maxWidth)
        return text;
    if (measure(kPathEllipsis) > maxWidth)
        return std::string();
    std::vector<std::size_t> starts = CodePointStarts(text);
    auto fits = [&](std::size_t k) { return measure(text.substr(0, starts[k]) + kPathEllipsis) <= maxWidth; };
    std::size_t keep = Splitter::LargestFitting(starts.size() - 2, fits);
    std::string head = text.substr(0, starts[keep]);
    std::size_t space = head.find_last_of(' ');
    if (space != std::string::npos && space >= head.size() / 2)
        head.erase(space);
    return head + kPathEllipsis;
}

double CodePointWidth(const std::string& text)
{
    double width = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            width += 1;
    return width;
}
