// Sets or unsets environment variables for one test and restores them after.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
// The C library of Windows sets and removes variables with _putenv_s.
inline int setenv(const char* name, const char* value, int)
{
    return _putenv_s(name, value);
}
inline int unsetenv(const char* name)
{
    return _putenv_s(name, "");
}
#endif

class ScopedEnv {
public:
    ScopedEnv() = default;
    ~ScopedEnv()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                Put(it->first, it->second->c_str());
            else
                Remove(it->first);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const std::string& name, const std::string& value)
    {
        Save(name);
        Put(name, value.c_str());
    }
    void Unset(const std::string& name)
    {
        Save(name);
        Remove(name);
    }

private:
    // The C runtime of Windows has no setenv; an empty value there removes.
    static void Put(const std::string& name, const char* value)
    {
#ifdef _WIN32
        _putenv_s(name.c_str(), value);
#else
        setenv(name.c_str(), value, 1);
#endif
    }
    static void Remove(const std::string& name)
    {
#ifdef _WIN32
        _putenv_s(name.c_str(), "");
#else
        unsetenv(name.c_str());
#endif
    }

    void Save(const std::string& name)
    {
        const char* value = std::getenv(name.c_str());
        m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};
