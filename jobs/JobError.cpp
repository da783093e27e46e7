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

std::string FormatErrorCode(UINT code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", code);
    return text;
}
