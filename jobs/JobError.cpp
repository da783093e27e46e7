#include "jobs/JobError.h"

#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"

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

std::string FormatDecimal(double value, int decimals)
{
    // printf's own point is the C locale's: ours is the language's.
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string out = text;
    const std::size_t point = out.find('.');
    if (point != std::string::npos)
        out.replace(point, 1, LoadResString(IDS_DECIMAL_POINT));
    return out;
}

std::string FormatPercent(double percent, int decimals)
{
    return FormatText(IDS_PERCENT, {FormatDecimal(percent, decimals)});
}

std::string CountText(std::uint64_t count, UINT singularId, UINT pluralId)
{
    return FormatText(count == 1 ? singularId : pluralId, {std::to_string(count)});
}
