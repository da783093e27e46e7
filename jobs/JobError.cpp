#include "jobs/JobError.h"

#include "platform/ResourceLibrary.h"

#include <cstdio>

std::string ComposeMessage(const std::string& text, const std::string& file, const std::string& cause)
{
    std::string message = text;
    if (!file.empty())
        message += (message.empty() ? "" : " ") + file;
    if (!cause.empty())
        message += (file.empty() ? (message.empty() ? "" : " ") : ": ") + cause;
    return message;
}

std::string ComposeMessage(UINT textId, const std::string& file, const std::string& cause)
{
    return ComposeMessage(LoadResString(textId), file, cause);
}

std::string PrintableText(const std::string& text)
{
    std::string shown = text;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return shown;
}

std::string FormatErrorCode(UINT code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", code);
    return text;
}
