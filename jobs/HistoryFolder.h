// CHistoryFolder: the entries of the history folder, read once per job, and the
// selections the history jobs make from them.
//
// The jobs select entries by name exactly as wildcard searches of the folder
// would, one for CompressHistory and one per day for ExtractHistory, with the
// same entries in the same (ascending name) order.  Reading the folder once
// keeps a long extraction window over a large folder cheap: a day's entries
// are found through an index of the names instead of a scan of the folder.
#pragma once

#include "jobs/HistoryNames.h"
#include "platform/DirSearch.h"
#include "platform/Folder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The days of an extraction window and the compressed files found for them.
struct ExtractDay {
    HistoryDate date;
    std::vector<std::size_t> entries;   // indexes into the folder's entries, in name order
};

struct ExtractWindow {
    std::vector<ExtractDay> days;       // only the days with files of the selected group(s)
    std::uint64_t countAllGroups = 0;   // files of all groups in the window (the overall bar's range)
};

class CHistoryFolder {
public:
    // Reads the folder open in folder, which outlives this object; false with
    // the cause when it cannot be read.  The path form opens the folder itself.
    bool Read(const CFolder& folder, std::string& cause);
    bool Read(const std::string& folder, std::string& cause);

    const std::vector<DirEntry>& Entries() const { return m_entries; }

    // The entries whose names match the wildcard pattern, in name order.
    std::vector<std::size_t> Matching(const std::string& pattern);

    // The compressed history files of `days` consecutive dates from the date of
    // `start` (a local midnight), for one group or all (negative).  Dates are
    // stepped by the calendar, so every date is visited once whatever the
    // clock does in between.  The window ends with 31 December 3000 however
    // many days are asked for.  False when the library cannot form a date.
    bool Window(std::int64_t start, std::uint64_t days, int group, ExtractWindow& window);

private:
    // The entries whose names match pattern, which holds wildcards ("?") only in
    // its first two characters (by name, not examined).
    void DayMatches(const std::string& pattern, std::vector<std::size_t>& out);

    // Whether entry i is still there, examining it (size and type) the first
    // time: the folder is read by names, and only the entries a job selects
    // are examined, as a search examines only what it finds.
    bool Present(std::size_t i);

    std::unique_ptr<CFolder> m_ownFolder;   // the folder the path form opened
    const CFolder* m_pFolder = nullptr;
    std::vector<DirEntry> m_entries;
    std::vector<std::uint8_t> m_examined;   // 0 not yet, 1 there, 2 gone
    // Entries by their lower-case name from the third character on; a day's
    // pattern names exactly that part.
    std::unordered_map<std::string, std::vector<std::size_t>> m_byTail;
    // The dates the tails can name, as DayKey(lead, yy, month, day): a day
    // whose key is missing has no entries, and a long window looks only at the
    // days that have.
    std::unordered_set<std::uint64_t> m_dayKeys;
};
