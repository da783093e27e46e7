// The texts of platform/ResourceLibrary.h for the Windows tests while the Windows
// build has no resource library of its own: English only, as a run without a
// language library shows them.
#include "platform/StringIds.h"
#include "platform/Types.h"

#include <initializer_list>
#include <string>

const char* LookupResString(UINT id)
{
    return EnglishString(id);
}

std::string LoadResString(UINT id)
{
    const char* text = LookupResString(id);
    return text != nullptr ? std::string(text) : std::string();
}

std::string FormatText(const std::string& text, std::initializer_list<std::string> args)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t index = i + 2 < text.size() && text[i] == '{' && text[i + 2] == '}'
                                      ? static_cast<std::size_t>(text[i + 1] - '0')
                                      : args.size();
        if (index < args.size()) {
            out += args.begin()[index];
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string FormatText(UINT textId, std::initializer_list<std::string> args)
{
    return FormatText(LoadResString(textId), args);
}
