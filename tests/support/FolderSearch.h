// The day-by-day folder searches that the history jobs' single folder read is
// checked against.
#pragma once

#include "platform/DirSearch.h"

#include <cstddef>
#include <string>
#include <vector>

// A search in the manner of findfirst/findnext over one pattern.
class CDirSearch {
public:
    // Starts a search for "folder/name-pattern"; true when an entry matches.
    bool First(const std::string& pattern);
    // Moves to the next matching entry; false when there is none.
    bool Next();
    // The current entry; valid after First or Next returned true.
    const DirEntry& Entry() const { return m_entries[m_nIndex]; }
    // Ends the search; Next finds nothing until the next First.
    void Close();

    // errno of a folder that could not be read by the last First, else 0.
    int Error() const { return m_nError; }
    // The folder part of the last pattern, with its trailing "/" (or empty).
    const std::string& Folder() const { return m_strFolder; }

private:
    std::vector<DirEntry> m_entries;
    std::size_t m_nIndex = 0;
    int m_nError = 0;
    std::string m_strFolder;
};
