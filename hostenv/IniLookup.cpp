// One value of a settings text, found by libinih.
#include "hostenv/ProfileLookup.h"

#include <ini.h>
#include <strings.h>

#include <optional>

namespace {

struct Lookup {
    const char* section;
    const char* key;
    std::optional<std::string> value;
};

// The settings text and how far libinih has read it.
struct TextCursor {
    const char* at;
    const char* end;
};

// Line reader for libinih.  It drops the blanks at the start of a line, so an
// indented key is read as a key rather than as a continuation of the previous
// value, and it keeps only the start of a line too long for the parser's
// buffer instead of handing the rest on as a line of its own.
char* ReadLine(char* line, int room, void* stream)
{
    auto* text = static_cast<TextCursor*>(stream);
    if (text->at == text->end)
        return nullptr;
    int length = 0;
    while (text->at != text->end) {
        const char c = *text->at++;
        if (c == '\n')
            break;
        if (length == 0 && (c == ' ' || c == '\t'))
            continue;
        if (length < room - 1)
            line[length++] = c;
    }
    line[length] = '\0';
    return line;
}

int OnValue(void* user, const char* section, const char* name, const char* value)
{
    auto* lookup = static_cast<Lookup*>(user);
    if (!lookup->value && strcasecmp(section, lookup->section) == 0 && strcasecmp(name, lookup->key) == 0)
        lookup->value = value;
    return 1;
}

std::string Unquote(std::string value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

}   // namespace

bool FindProfileValue(const std::string&, const std::string& text, const char* section, const char* key,
                      std::string& value)
{
    TextCursor cursor {text.data(), text.data() + text.size()};
    Lookup lookup {section, key, std::nullopt};
    ini_parse_stream(ReadLine, &cursor, OnValue, &lookup);
    if (!lookup.value)
        return false;
    value = Unquote(*lookup.value);
    return true;
}
