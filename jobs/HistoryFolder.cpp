#include "jobs/HistoryFolder.h"

#include "platform/TimeUtil.h"

#include <cerrno>

namespace {

std::string LowerTail(const std::string& name)
{
    std::string tail = name.size() > 2 ? name.substr(2) : std::string();
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return tail;
}

} // namespace

bool CHistoryFolder::Read(const std::string& folder, int* error)
{
    int err = 0;
    // An interrupted read of the folder is read again.
    for (int attempt = 0; attempt < 100 && (attempt == 0 || err == EINTR); ++attempt)
        m_entries = ReadFolder(folder, &err);
    m_byTail.clear();
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].name.size() > 2)
            m_byTail[LowerTail(m_entries[i].name)].push_back(i);
    if (error)
        *error = err;
    return err == 0;
}

std::vector<std::size_t> CHistoryFolder::Matching(const std::string& pattern) const
{
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (MatchWildcard(pattern, m_entries[i].name))
            found.push_back(i);
    return found;
}

void CHistoryFolder::DayMatches(const std::string& pattern, std::vector<std::size_t>& out) const
{
    // Beyond its first two characters the pattern is literal, so every name it
    // matches has the same lower-case tail; the index yields them in name order.
    const auto it = m_byTail.find(LowerTail(pattern));
    if (it == m_byTail.end())
        return;
    for (std::size_t i : it->second)
        if (MatchWildcard(pattern, m_entries[i].name))
            out.push_back(i);
}

bool CHistoryFolder::Window(std::int64_t start, std::uint64_t days, int group, ExtractWindow& window) const
{
    window = {};
    std::int64_t midnight = start;
    for (std::uint64_t n = 0; n < days; ++n) {
        if (n > 0 && (midnight = NextLocalMidnight(midnight)) == -1)
            return false;
        ExtractDay day;
        if (!LocalDate(midnight, day.date.year, day.date.month, day.date.day))
            return false;
        std::vector<std::size_t> all;
        DayMatches(DayPattern(-1, day.date.year, day.date.month, day.date.day), all);
        window.countAllGroups += all.size();
        if (group < 0)
            day.entries = std::move(all);
        else
            DayMatches(DayPattern(group, day.date.year, day.date.month, day.date.day), day.entries);
        if (!day.entries.empty())
            window.days.push_back(std::move(day));
    }
    return true;
}
