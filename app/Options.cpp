#include "app/Options.h"

#include "app/StderrView.h"
#include "jobs/JobError.h"
#include "jobs/StreamCheck.h"
#include "platform/DirSearch.h"
#include "platform/ResourceLibrary.h"
#include "platform/StringIds.h"
#include "platform/SysCall.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
    {"keep", false, [](COptions& o, const std::string&) { return o.m_bKeep = true; }},
    {"output-dir", true, [](COptions& o, const std::string& v) { return !(o.m_strOutputDir = v).empty(); },
     IDS_ERR_BAD_OUTPUT_DIR},
    {"jobs", true, [](COptions& o, const std::string& v) { return ParseJobs(v, o.m_nJobs); }, IDS_ERR_BAD_JOBS},
    {"method", true, [](COptions& o, const std::string& v) { return MethodFromName(v, o.m_nMethod); }},
    {"progress", true, [](COptions& o, const std::string& v) { return ParseProgressRequest(v, o.m_progress); },
     IDS_ERR_BAD_PROGRESS},
};

std::string Bytes(std::uint64_t count)
{
    return CountText(count, IDS_CAUSE_BYTE, IDS_CAUSE_BYTES);
}

// " (82.8% saved)" as the summary of a job says it; nothing for empty data.
std::string Saved(std::uint64_t original, std::uint64_t compressed)
{
    if (original == 0)
        return {};
    const double share
        = 100.0 * (static_cast<double>(original) - static_cast<double>(compressed)) / static_cast<double>(original);
    return FormatText(IDS_SUMMARY_SAVED, {FormatPercent(share)});
}

std::string InfoLine(const std::string& file, const StreamSummary& s)
{
    return FormatText(IDS_INFO_LINE, {file, MethodName(s.method), Bytes(s.originalSize), Bytes(s.fileSize),
                                      Saved(s.originalSize, s.fileSize)});
}

// Edits (insert, delete, replace, swap two neighbours) that turn a into b.
std::size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// Standard input as a file the readers can open: the file itself when it is
// one, else its bytes spooled into an anonymous file.  "" with the cause when
// it cannot be had.
std::string StdinPath(std::string& cause)
{
    static std::string path;
    if (path.empty())
        path = StandardInputAsFile(cause);
    return path;
}

// The file a name given to --test, --info or --cat stands for, and the name
// its lines show.
struct GivenFile {
    std::string path, shown;
};

std::vector<GivenFile> GivenFiles(const std::vector<std::string>& given)
{
    std::vector<GivenFile> files;
    for (const std::string& name : ExpandFolders(given))
        files.push_back({name, name == "-" ? LoadResString(IDS_STDIN_NAME) : PrintableText(name)});
    return files;
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

bool OptionTakesValue(const std::string& name)
{
    for (const OptionSpec& option : kOptions)
        if (name == option.name)
            return option.takesValue;
    return false;
}

std::string NearestOption(const std::string& name)
{
    std::string nearest;
    std::size_t best = 3;   // at most two edits away
    for (const OptionSpec& option : kOptions) {
        const std::size_t distance = EditDistance(name, option.name);
        if (distance < best) {
            best = distance;
            nearest = option.name;
        }
    }
    return nearest;
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
        if (known && known->takesValue && equals == std::string::npos) {
            message = ComposeMessage(known->badValueId, "--" + option, {});   // its value is missing
            return false;
        }
        if (!known || known->takesValue != (equals != std::string::npos)) {
            const std::string nearest = known ? std::string() : NearestOption(name);
            message = ComposeMessage(IDS_ERR_UNKNOWN_OPTION, "--" + option,
                                     nearest.empty() ? std::string()
                                                     : FormatText(IDS_CAUSE_DID_YOU_MEAN, {"--" + nearest}));
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
        if (file == "-" || KindOfPath(file) != PathKind::Folder) {
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
    std::uint64_t count = 0, original = 0, compressed = 0;
    int status = 0;
    // Shown as the job messages show names: no control character reaches the terminal.
    for (const auto& [name, file] : GivenFiles(given)) {
        StreamSummary summary;
        JobFault fault;
        std::string path = name;
        const bool intact = (name != "-" || !(path = StdinPath(fault.cause)).empty())
                            && CheckFile(path, options.m_bTest, summary, fault);
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
    if (options.m_bInfo)
        std::fprintf(out, "%s\n",
                     FormatText(IDS_INFO_TOTAL, {CountText(count, IDS_COUNT_FILE, IDS_COUNT_FILES), Bytes(original),
                                                 Bytes(compressed), Saved(original, compressed)})
                         .c_str());
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
    bool readerGone = false;
    const auto write = [out, &readerGone](const std::uint8_t* data, UINT got, UINT, JobFault& failed) {
        if (WriteAll(out, data, got))
            return true;
        // The reader of the pipe went away (`| head`): as zcat, end without a word.
        readerGone = errno == EPIPE;
        failed = {IDS_ERR_WRITE, "-", std::strerror(errno), true};
        return false;
    };
    int status = 0;
    for (const auto& [name, file] : GivenFiles(files)) {
        JobFault fault;
        std::string path = name;
        CSourceStream reader;
        if (name != "-" || !(path = StdinPath(fault.cause)).empty())
            reader = OpenReader(path, fault);
        else
            fault = {IDS_ERR_OPEN_FILE, file, fault.cause};
        UINT delivered = 0;
        bool intact = false;
        if (reader && ReadChunks(*reader, IDS_ERR_READ, write, delivered, fault)
            && FileStep(IDS_ERR_READ, path, fault, [&] { intact = StreamIntact(*reader, delivered, fault); })) {
            if (intact)
                continue;
            fault.file = path;
        }
        if (readerGone) {
            EndByBrokenPipe();
            return status;   // SIGPIPE blocked: still no word
        }
        if (fault.file == path)
            fault.file = file;   // named as given (standard input by its name)
        CStderrView::WriteLine(2, fault.Message());
        if (fault.textId == IDS_ERR_WRITE)
            return 1;
        status = 1;
    }
    return status;
}
