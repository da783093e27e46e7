#include "app/Options.h"

#include "app/StderrView.h"
#include "jobs/JobError.h"
#include "jobs/StreamCheck.h"
#include "platform/DirSearch.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"
#include "platform/SysCall.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#ifndef TAMBLE_VERSION
#define TAMBLE_VERSION "1.0.0"
#endif

namespace {

// --jobs=N: a plain decimal count from 1 to 256.
bool ParseJobs(const std::string& value, int& jobs)
{
    if (value.empty() || value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos)
        return false;
    jobs = std::stoi(value);
    return jobs >= 1 && jobs <= 256;
}

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
    {"cat", false, [](COptions& o, const std::string&) { return o.m_bCat = true; }},
    {"quiet", false, [](COptions& o, const std::string&) { return o.m_bQuiet = true; }},
    {"dry-run", false, [](COptions& o, const std::string&) { return o.m_bDryRun = true; }},
    {"output-dir", true, [](COptions& o, const std::string& v) { return !(o.m_strOutputDir = v).empty(); },
     IDS_ERR_BAD_OUTPUT_DIR},
    {"jobs", true, [](COptions& o, const std::string& v) { return ParseJobs(v, o.m_nJobs); }, IDS_ERR_BAD_JOBS},
    {"method", true, [](COptions& o, const std::string& v) { return MethodFromName(v, o.m_nMethod); }},
    {"progress", true, [](COptions& o, const std::string& v) { return ParseProgressRequest(v, o.m_progress); },
     IDS_ERR_BAD_PROGRESS},
};

std::string InfoLine(const std::string& file, const StreamSummary& s)
{
    char ratio[32] = "-";
    if (s.originalSize != 0)
        std::snprintf(ratio, sizeof ratio, "%.1f%%", 100.0 * static_cast<double>(s.fileSize) / s.originalSize);
    return FormatText(IDS_INFO_LINE,
                      {file, MethodName(s.method), std::to_string(s.originalSize), std::to_string(s.fileSize), ratio});
}

}   // namespace

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

std::vector<std::string> ExpandFolders(const std::vector<std::string>& files)
{
    std::vector<std::string> expanded;
    for (const std::string& file : files) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            expanded.push_back(file);
            continue;
        }
        const std::string folder = file.back() == '/' ? file : file + "/";
        for (const DirEntry& entry : ReadFolder(folder))
            if (MatchWildcard("*.hst", entry.name) || MatchWildcard("*.hsz", entry.name))
                expanded.push_back(folder + entry.name);
    }
    return expanded;
}

int RunFileChecks(const COptions& options, const std::vector<std::string>& given, std::FILE* out)
{
    if (given.empty()) {
        CStderrView::WriteLine(2, ComposeMessage(IDS_ERR_NO_FILES, options.m_bTest ? "--test" : "--info", {}));
        return 2;
    }
    const std::vector<std::string> files = ExpandFolders(given);
    std::uint64_t count = 0, original = 0, compressed = 0;
    int status = 0;
    for (const std::string& name : files) {
        // Shown as the job messages show names: no control character reaches the terminal.
        const std::string file = PrintableText(name);
        StreamSummary summary;
        JobFault fault;
        const bool intact = CheckFile(name, options.m_bTest, summary, fault);
        if (intact && options.m_bInfo) {
            std::fprintf(out, "%s\n", InfoLine(file, summary).c_str());
            ++count;
            original += summary.originalSize;
            compressed += summary.fileSize;
        }
        if (intact && options.m_bTest && !options.m_bQuiet)
            std::fprintf(out, "%s: %s\n", file.c_str(), LoadResString(IDS_TEST_OK).c_str());
        if (!intact) {
            // Failures go with the errors, named by the program, so that a
            // pipeline's stdout holds only what was asked for.
            const UINT word = fault.textId == IDS_ERR_DAMAGED ? IDS_TEST_DAMAGED : IDS_TEST_UNREADABLE;
            std::fflush(out);
            CStderrView::WriteLine(2, ComposeMessage(file + ":", LoadResString(word), fault.cause));
            status = 1;
        }
    }
    if (options.m_bInfo) {
        char ratio[32] = "-";
        if (original > 0)
            std::snprintf(ratio, sizeof ratio, "%.1f%%",
                          100.0 * static_cast<double>(compressed) / static_cast<double>(original));
        std::fprintf(out, "%s\n",
                     FormatText(IDS_INFO_TOTAL,
                                {std::to_string(count), std::to_string(original), std::to_string(compressed), ratio})
                         .c_str());
    }
    return status;
}

int RunCat(const std::vector<std::string>& files, int out)
{
    if (::isatty(out)) {
        CStderrView::WriteLine(2, LoadResString(IDS_ERR_CAT_TERMINAL));
        return 2;
    }
    if (files.empty()) {
        CStderrView::WriteLine(2, ComposeMessage(IDS_ERR_NO_FILES, "--cat", {}));
        return 2;
    }
    const auto write = [out](const std::uint8_t* data, UINT got, UINT, JobFault& failed) {
        if (WriteAll(out, data, got))
            return true;
        // The reader of the pipe went away or the disk is full.
        failed = {IDS_ERR_WRITE, "-", std::strerror(errno), true};
        return false;
    };
    int status = 0;
    for (const std::string& file : files) {
        JobFault fault;
        CSourceStream reader = OpenReader(file, fault);
        UINT delivered = 0;
        std::string damage;
        if (reader && ReadChunks(*reader, IDS_ERR_READ, write, delivered, fault)
            && FileStep(IDS_ERR_READ, file, fault, [&] { damage = StreamFault(*reader, delivered); })) {
            if (damage.empty())
                continue;
            fault = {IDS_ERR_DAMAGED, file, damage};
        }
        CStderrView::WriteLine(2, fault.Message());
        if (fault.textId == IDS_ERR_WRITE)
            return 1;
        status = 1;
    }
    return status;
}
