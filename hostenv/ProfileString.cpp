// Settings-file lookup: the file's check, the default and the caller's buffer;
// the value itself is found by the system's reader (ProfileLookup.h).
#include "hostenv/ProfileString.h"

#include "hostenv/ProfileLookup.h"
#include "hostenv/TextBuffer.h"
#include "platform/StartupFile.h"

namespace {

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
    std::string value;
    return FindProfileValue(file, text, section, key, value) ? value : DefaultText(def);
}

UINT GetPrivateProfileStringA(const char* section, const char* key, const char* def, char* buffer, UINT size,
                              const char* file)
{
    if (buffer == nullptr || size == 0)
        return 0;
    const std::string text = file != nullptr ? GetProfileString(file, section, key, def) : DefaultText(def);
    return static_cast<UINT>(CopyToBuffer(buffer, size, text));
}
