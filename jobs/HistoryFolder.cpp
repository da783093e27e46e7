#include "jobs/HistoryFolder.h"

#include "platform/SysCall.h"
#include "platform/TimeUtil.h"

#include <cerrno>
#include <cstring>

namespace {

// The window ends with the last date the 64-bit time functions of the
// product's platform can form, 31 December 3000: stepping on would only count
// dates that no file can carry.
constexpr int LAST_WINDOW_YEAR = 3000;

std::string LowerTail(const std::string& name)
{
    std::string tail = name.size() > 2 ? name.substr(2) : std::string();
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return tail;
}

// A date as a day's pattern names it after its first two characters: `lead`
// characters of the group (more than two digits: 100 leads with 0), then YY,
// MM and DD as "%02d" writes them, then ".hsz".
std::uint64_t DayKey(std::size_t lead, std::uint64_t yy, int month, int day)
{
    return (std::uint64_t {lead} << 40) | (yy << 16) | static_cast<std::uint64_t>(month * 100 + day);
}

// Adds the keys of every date a tail could name: each split of its digits
// before ".hsz" into lead characters, a year of two or more digits (without a
// leading zero beyond two), and month and day.
void AddDayKeys(const std::string& tail, std::unordered_set<std::uint64_t>& keys)
{
    constexpr std::size_t EXT = 4;   // ".hsz"
    if (tail.size() < 6 + EXT || tail.compare(tail.size() - EXT, EXT, ".hsz") != 0)
        return;
    const std::size_t digits = tail.size() - EXT;
    std::size_t firstOfRun = digits;   // the run of digits that ends before ".hsz"
    while (firstOfRun > 0 && tail[firstOfRun - 1] >= '0' && tail[firstOfRun - 1] <= '9')
        --firstOfRun;
    const auto number = [&](std::size_t from, std::size_t to) {
        std::uint64_t value = 0;
        for (std::size_t i = from; i < to; ++i)
            value = value * 10 + static_cast<std::uint64_t>(tail[i] - '0');
        return value;
    };
    const int month = static_cast<int>(number(digits - 4, digits - 2));
    const int day = static_cast<int>(number(digits - 2, digits));
    // A year has two digits at least and never more than year 3000's "1000".
    for (std::size_t lead = firstOfRun; lead + 6 <= digits; ++lead)
        if (digits - 4 - lead <= 4)
            keys.insert(DayKey(lead, number(lead, digits - 4), month, day));
}

}   // namespace

bool CHistoryFolder::Read(const std::string& folder, std::string& cause)
{
    int err = 0;
    m_ownFolder = std::make_unique<CFolder>();
    if (!m_ownFolder->Open(folder, true, err)) {
        cause = std::strerror(err);
        return false;
    }
    return Read(*m_ownFolder, cause);
}

bool CHistoryFolder::Read(const CFolder& folder, std::string& cause)
{
    // An interrupted read of the folder is read again from its start.
    int err = 0;
    m_entries = folder.List(false, err);
    m_pFolder = &folder;
    m_examined.assign(m_entries.size(), 0);
    m_byTail.clear();
    m_dayKeys.clear();
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].name.size() <= 2)
            continue;
        std::vector<std::size_t>& named = m_byTail[LowerTail(m_entries[i].name)];
        if (named.empty())
            AddDayKeys(LowerTail(m_entries[i].name), m_dayKeys);
        named.push_back(i);
    }
    if (err != 0)
        cause = std::strerror(err);
    return err == 0;
}

bool CHistoryFolder::Present(std::size_t i)
{
    if (m_examined[i] == 0)
        m_examined[i] = m_pFolder->Examine(m_entries[i]) ? 1 : 2;
    return m_examined[i] == 1;
}

std::vector<std::size_t> CHistoryFolder::Matching(const std::string& pattern)
{
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (MatchWildcard(pattern, m_entries[i].name) && Present(i))
            found.push_back(i);
    return found;
}

void CHistoryFolder::DayMatches(const std::string& pattern, std::vector<std::size_t>& out)
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

bool CHistoryFolder::Window(std::int64_t start, std::uint64_t days, int group, ExtractWindow& window)
{
    window = {};
    CLocalDates date;
    if (!date.Start(start))
        return false;
    const std::size_t groupLead = group < 0 ? 0 : GroupText(group).size() - 2;
    for (std::uint64_t n = 0; n < days; ++n) {
        if (n > 0 && !date.Next())
            return false;
        if (date.m_nYear > LAST_WINDOW_YEAR)
            break;
        ExtractDay day;
        day.date = {date.m_nYear, date.m_nMonth, date.m_nDay};
        const auto yy = static_cast<std::uint64_t>(TwoDigitYear(day.date.year));
        std::vector<std::size_t> all;
        if (m_dayKeys.count(DayKey(0, yy, day.date.month, day.date.day)))
            DayMatches(DayPattern(-1, day.date.year, day.date.month, day.date.day), all);
        window.countAllGroups += all.size();
        if (group < 0)
            day.entries = std::move(all);
        else if (m_dayKeys.count(DayKey(groupLead, yy, day.date.month, day.date.day)))
            DayMatches(DayPattern(group, day.date.year, day.date.month, day.date.day), day.entries);
        // Only the entries to extract are examined (the count is by name);
        // one gone since the folder was read is left out.
        std::erase_if(day.entries, [&](std::size_t i) { return !Present(i); });
        if (!day.entries.empty())
            window.days.push_back(std::move(day));
    }
    return true;
}
