// Arbitrary parameter lists through the command-line split, the switch record and
// the option reader, and the check of the job settings that decides whether a job
// may run (nothing is converted: the settings are only judged).
//
// The input is split at NUL bytes into arguments (argv[0] is the program).  The
// same list is parsed twice and must give the same record; every argument ends up
// in exactly one place (a bare parameter, an option, a taken switch or an unknown
// one), and the settings a job sees stay within their ranges.
#include "app/Options.h"
#include "app/TambleApp.h"
#include "app/TambleCmdLine.h"
#include "jobs/JobView.h"
#include "jobs/TambleJobs.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A view that shows nothing; CheckSettings only ever sends it messages.
class CSilentView : public IJobView {
public:
    void SetSourceName(const std::string&) override {}
    void SetTargetName(const std::string&) override {}
    void TransferTexts() override {}
    void SetFileRange(std::uint32_t) override {}
    void SetFilePos(std::uint32_t) override {}
    void RepaintFileBar() override {}
    void SetOverallRange(std::uint16_t) override {}
    void SetOverallPos(int) override {}
    void RepaintOverallBar() override {}
    void Message(const std::string& text) override
    {
        if (text.empty())
            std::abort();   // every refusal says why
        ++messages;
    }
    void Log(const std::string&) override {}
    void EndJob(int) override { std::abort(); }   // judging settings ends no job

    int messages = 0;
};

void Parse(std::vector<std::string>& args, CTambleCmdLine& record)
{
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    record.SetDefaults();
    ParseCommandLine(static_cast<int>(args.size()), argv.data(), record);
}

bool SameRecord(const CTambleCmdLine& a, const CTambleCmdLine& b)
{
    return a.m_nZipMode == b.m_nZipMode && a.m_nFileType == b.m_nFileType && a.m_nNumber == b.m_nNumber
           && a.m_nGroup == b.m_nGroup && a.m_szStartDate == b.m_szStartDate && a.m_szSource == b.m_szSource
           && a.m_szTarget == b.m_szTarget && a.m_bHidden == b.m_bHidden && a.m_params == b.m_params
           && a.m_options == b.m_options && a.m_otherSwitches == b.m_otherSwitches;
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args {"tamble"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (size > 0)
        args.push_back(current);
    if (args.size() > 64)
        return 0;   // long lists only repeat what short ones do

    CTambleCmdLine first, second;
    std::vector<std::string> copy = args;
    Parse(args, first);
    Parse(copy, second);
    if (!SameRecord(first, second))
        std::abort();
    if (first.m_nZipMode < ZIP_MODE_NONE || first.m_nZipMode > ZIP_MODE_EXTRACT || first.m_nFileType < FILE_TYPE_NONE
        || first.m_nFileType > FILE_TYPE_HISTORY)
        std::abort();
    // Each argument lands in one place at most; a first "--" lands nowhere.
    if (first.m_params.size() + first.m_options.size() + first.m_otherSwitches.size() > args.size() - 1)
        std::abort();

    COptions options;
    std::string message;
    if (!ParseOptions(first.m_options, options, message)) {
        if (message.empty())
            std::abort();
        return 0;
    }
    if (options.m_nMethod < -1 || options.m_nMethod > 2)
        std::abort();

    CSilentView view;
    CTambleJobs jobs(view, CTambleApp::MakeSettings(first, options));
    const BOOL runnable = jobs.CheckJobSettings();
    const JobSettings& settings = jobs.Settings();
    // A refusal says why and earns status 2; a job that may run has earned nothing yet.
    if (runnable ? (jobs.ExitStatus() != 0 || view.messages != 0) : (jobs.ExitStatus() != 2 || view.messages != 1))
        std::abort();
    // A history job that may run has a folder, a number of days, and for an
    // extraction a positive count and a start date of at least seven characters.
    if (runnable && settings.History()
        && (settings.source.empty() || settings.number == 0
            || (settings.zipMode == ZIP_MODE_EXTRACT && (settings.number < 0 || settings.startDate.size() < 7))))
        std::abort();
    return 0;
}
