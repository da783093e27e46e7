#include "app/Options.h"

#include "app/StderrView.h"
#include "jobs/JobError.h"
#include "jobs/StreamCheck.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"

#ifndef TAMBLE_VERSION
#define TAMBLE_VERSION "1.0.0"
#endif

namespace {

// One option: its name, whether it takes "=value", what it sets, and the
// message for a value it cannot take.
struct OptionSpec {
    const char* name;
    bool takesValue;
    bool (*apply)(COptions& options, const std::string& value);
    UINT badValueId = IDS_ERR_BAD_METHOD;
};

const OptionSpec kOptions[] = {
    {"help", false, [](COptions& o, const std::string&) { return o.m_bHelp = true; }},
    {"version", false, [](COptions& o, const std::string&) { return o.m_bVersion = true; }},
    {"test", false, [](COptions& o, const std::string&) { return o.m_bTest = true; }},
    {"info", false, [](COptions& o, const std::string&) { return o.m_bInfo = true; }},
    {"method", true, [](COptions& o, const std::string& v) { return MethodFromName(v, o.m_nMethod); }},
    {"progress", true, [](COptions& o, const std::string& v) { return ParseProgressRequest(v, o.m_progress); },
     IDS_ERR_BAD_PROGRESS},
};

std::string InfoLine(const std::string& file, const StreamSummary& s)
{
    std::string line = file + ": method " + MethodName(s.method) + ", original " + std::to_string(s.originalSize)
                       + " bytes, compressed " + std::to_string(s.fileSize) + " bytes, ratio ";
    if (s.originalSize == 0)
        return line + "-";
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.1f%%", 100.0 * static_cast<double>(s.fileSize) / s.originalSize);
    return line + ratio;
}

} // namespace

bool MethodFromName(const std::string& name, int& method)
{
    for (int m : {METHOD_LZW, METHOD_LZSS, METHOD_HUFFMAN, METHOD_NONE}) {
        if (name == MethodName(m)) {
            method = m;
            return true;
        }
    }
    return false;
}

bool ParseOptions(const std::vector<std::string>& options, COptions& parsed, std::string& message)
{
    for (const std::string& option : options) {
        const std::size_t equals = option.find('=');
        const std::string name = option.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : option.substr(equals + 1);
        const OptionSpec* known = nullptr;
        for (const OptionSpec& candidate : kOptions)
            if (name == candidate.name)
                known = &candidate;
        if (!known || known->takesValue != (equals != std::string::npos)) {
            message = ComposeMessage(IDS_ERR_UNKNOWN_OPTION, "--" + option, {});
            return false;
        }
        if (!known->apply(parsed, value)) {
            message = ComposeMessage(known->badValueId, "--" + option, {});
            return false;
        }
    }
    return true;
}

void PrintHelp(std::FILE* out)
{
    std::fprintf(out, "%s\n%s", LoadResString(IDS_USAGE_HEADLINE).c_str(), LoadResString(IDS_USAGE_TEXT).c_str());
}

void PrintShortUsage(std::FILE* out)
{
    std::fprintf(out, "%s\n%s\n", LoadResString(IDS_USAGE_HEADLINE).c_str(), LoadResString(IDS_USAGE_MORE).c_str());
}

void PrintVersion(std::FILE* out)
{
    std::fprintf(out, "tamble %s\n", TAMBLE_VERSION);
}

int RunFileChecks(const COptions& options, const std::vector<std::string>& files, std::FILE* out)
{
    if (files.empty()) {
        CStderrView::WriteLine(2, ComposeMessage(IDS_ERR_NO_FILES, options.m_bTest ? "--test" : "--info", {}));
        return 2;
    }
    int status = 0;
    for (const std::string& name : files) {
        // Shown as the job messages show names: no control character reaches the terminal.
        const std::string file = PrintableText(name);
        StreamSummary summary;
        std::string cause;
        const CheckResult result = CheckFile(name, options.m_bTest, summary, cause);
        if (result == CheckResult::Intact && options.m_bInfo)
            std::fprintf(out, "%s\n", InfoLine(file, summary).c_str());
        if (result == CheckResult::Intact && options.m_bTest)
            std::fprintf(out, "%s: %s\n", file.c_str(), LoadResString(IDS_TEST_OK).c_str());
        if (result != CheckResult::Intact) {
            const UINT word = result == CheckResult::Damaged ? IDS_TEST_DAMAGED : IDS_TEST_UNREADABLE;
            std::fprintf(out, "%s\n", ComposeMessage(file + ":", LoadResString(word), cause).c_str());
            status = 1;
        }
    }
    return status;
}
