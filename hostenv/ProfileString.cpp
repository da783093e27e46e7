// Settings-file lookup over libinih.
#include "hostenv/ProfileString.h"

#include "hostenv/TextBuffer.h"
#include "platform/StartupFile.h"

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

std::string DefaultText(const char* def)
{
    std::string text = def != nullptr ? def : "";
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}

}   // namespace

bool ReadSettingsText(const std::string& file, std::string& text)
{
    std::string why;
    const StartupFileResult result = ReadRegularFile(file, SETTINGS_FILE_LIMIT, text, why);
    if (result == StartupFileResult::Refused)
        NoteRefusedFile(RefusedKind::Settings, file, why);
    return result == StartupFileResult::Ok;
}

std::string GetProfileString(const std::string& file, const char* section, const char* key, const char* def)
{
    if (section == nullptr || key == nullptr)
        return DefaultText(def);
    std::string text;
    if (!ReadSettingsText(file, text))
        return DefaultText(def);
    TextCursor cursor {text.data(), text.data() + text.size()};
    Lookup lookup {section, key, std::nullopt};
    ini_parse_stream(ReadLine, &cursor, OnValue, &lookup);
    return lookup.value ? Unquote(*lookup.value) : DefaultText(def);
}

UINT GetPrivateProfileStringA(const char* section, const char* key, const char* def, char* buffer, UINT size,
                              const char* file)
{
    if (buffer == nullptr || size == 0)
        return 0;
    const std::string text = file != nullptr ? GetProfileString(file, section, key, def) : DefaultText(def);
    return static_cast<UINT>(CopyToBuffer(buffer, size, text));
}
