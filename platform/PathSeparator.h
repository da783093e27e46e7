// The separator of folder names in paths: '/' on Linux; on Windows the
// backslash that the system writes, though '/' separates there as well.
#pragma once

#include <string>

#ifdef _WIN32
constexpr char PATH_SEPARATOR = '\\';
constexpr char PATH_SEPARATORS[] = "\\/";
#else
constexpr char PATH_SEPARATOR = '/';
constexpr char PATH_SEPARATORS[] = "/";
#endif

// Where the last folder name of a path ends, or npos for a bare name.
inline std::string::size_type LastPathSeparator(const std::string& path)
{
    return path.find_last_of(PATH_SEPARATORS);
}
