// The current resource handle and the texts composed from the resource strings,
// the same on every system.
#include "platform/ResourceText.h"

namespace {

void* g_hResource = nullptr;   // the module state's current resource handle

}   // namespace

void* AfxGetResourceHandle()
{
    return g_hResource;
}

void AfxSetResourceHandle(void* resources)
{
    g_hResource = resources;
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
