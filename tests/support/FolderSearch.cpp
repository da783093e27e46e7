#include "tests/support/FolderSearch.h"

namespace {

// Splits a search pattern into its folder (with its trailing "/", or empty for
// the current folder) and the wildcard name after the last "/".
void SplitSearchPattern(const std::string& pattern, std::string& folder, std::string& name)
{
    const std::size_t slash = pattern.rfind('/');
    if (slash == std::string::npos) {
        folder.clear();
        name = pattern;
    } else {
        folder = pattern.substr(0, slash + 1);
        name = pattern.substr(slash + 1);
    }
}

}   // namespace

bool CDirSearch::First(const std::string& pattern)
{
    std::string name;
    SplitSearchPattern(pattern, m_strFolder, name);
    m_entries = ListMatching(m_strFolder, name, &m_nError);
    m_nIndex = 0;
    return !m_entries.empty();
}

bool CDirSearch::Next()
{
    if (m_nIndex + 1 >= m_entries.size()) {
        m_nIndex = m_entries.size();
        return false;
    }
    ++m_nIndex;
    return true;
}

void CDirSearch::Close()
{
    m_entries.clear();
    m_nIndex = 0;
}
