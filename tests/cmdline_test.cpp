// The command-line record: switches, their values, GNU-style options and the
// split of argv into flagged and bare parameters.
#include "app/TambleCmdLine.h"
#include "platform/CommandLine.h"
#include "platform/StringIds.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Args = std::vector<std::string>;

void Parse(CCommandLineInfo& info, const Args& args)
{
    std::vector<std::string> storage {"tamble"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    ParseCommandLine(static_cast<int>(storage.size()), argv.data(), info);
}

// The eight job settings, comparable as one value.
struct Settings {
    int zip = 0, type = 0, number = 0, group = -1;
    std::string date, source, target;
    BOOL hidden = FALSE;

    bool operator==(const Settings&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Settings& s)
{
    return os << "{zip " << s.zip << ", type " << s.type << ", number " << s.number << ", group " << s.group
              << ", date '" << s.date << "', source '" << s.source << "', target '" << s.target << "', hidden "
              << s.hidden << "}";
}

Settings SettingsOf(const CTambleCmdLine& c)
{
    return {c.m_nZipMode,    c.m_nFileType, c.m_nNumber,  c.m_nGroup,
            c.m_szStartDate, c.m_szSource,  c.m_szTarget, c.m_bHidden};
}

Settings With(void (*change)(Settings&))
{
    Settings s;
    change(s);
    return s;
}

struct SwitchCase {
    Args args;
    Settings expected;
};

void CheckTable(const std::vector<SwitchCase>& table)
{
    for (const SwitchCase& c : table) {
        CTambleCmdLine cmd;
        Parse(cmd, c.args);
        std::string joined;
        for (const std::string& a : c.args)
            joined += "[" + a + "]";
        EXPECT_EQ(SettingsOf(cmd), c.expected) << "arguments " << joined;
    }
}

}   // namespace

TEST(CmdLine, DefaultsAndSetDefaults)
{
    CTambleCmdLine cmd;
    EXPECT_EQ(SettingsOf(cmd), Settings {});
    Parse(cmd, {"/Z:C", "/T:A", "/N:3", "/G:2", "/D:1", "/S:a", "/R:b", "/H"});
    cmd.SetDefaults();
    EXPECT_EQ(SettingsOf(cmd), Settings {});
}

TEST(CmdLine, EachSwitchInItsUsualForm)
{
    CheckTable({
        {{"/Z:C"}, With([](Settings& s) { s.zip = 1; })},
        {{"/Z:E"}, With([](Settings& s) { s.zip = 2; })},
        {{"/T:N"}, With([](Settings& s) { s.type = 1; })},
        {{"/T:A"}, With([](Settings& s) { s.type = 2; })},
        {{"/D:03/05/24"}, With([](Settings& s) { s.date = "03/05/24"; })},
        {{"/N:30"}, With([](Settings& s) { s.number = 30; })},
        {{"/G:10"}, With([](Settings& s) { s.group = 10; })},
        {{"/S:/var/hist/"}, With([](Settings& s) { s.source = "/var/hist/"; })},
        {{"/R:/tmp/out.hst"}, With([](Settings& s) { s.target = "/tmp/out.hst"; })},
        {{"/H"}, With([](Settings& s) { s.hidden = TRUE; })},
        {{"/Z:C", "/T:A", "/S:/var/hist", "/N:30", "/G:10", "/H"}, With([](Settings& s) {
             s.zip = 1, s.type = 2, s.source = "/var/hist", s.number = 30, s.group = 10, s.hidden = TRUE;
         })},
    });
}

TEST(CmdLine, OperationAndKindLetters)
{
    CheckTable({
        {{"/z:e"}, With([](Settings& s) { s.zip = 2; })},
        {{"-Z:E"}, With([](Settings& s) { s.zip = 2; })},
        {{"/ZXE"}, With([](Settings& s) { s.zip = 2; })},          // index 1 is never looked at
        {{"/Z:COMPRESS"}, With([](Settings& s) { s.zip = 1; })},   // only index 2 counts
        {{"/Z"}, Settings {}},
        {{"/Z:"}, Settings {}},
        {{"/Z:X"}, Settings {}},
        {{"/t:a"}, With([](Settings& s) { s.type = 2; })},
        {{"/T:A", "/T:X"}, With([](Settings& s) { s.type = 2; })},   // unknown letter keeps the earlier one
        {{"/Z:C", "/Z:"}, With([](Settings& s) { s.zip = 1; })},
        {{"/Z:C", "/Z:E"}, With([](Settings& s) { s.zip = 2; })},   // the later switch wins
        {{"/T:N", "/T:A"}, With([](Settings& s) { s.type = 2; })},
    });
}

TEST(CmdLine, NumbersAreReadLikeAtoi)
{
    CheckTable({
        {{"/G:1F"}, With([](Settings& s) { s.group = 1; })},
        {{"/G:-3"}, With([](Settings& s) { s.group = -3; })},
        {{"/G:"}, With([](Settings& s) { s.group = 0; })},   // present but empty: 0, not the default
        {{"/N:ABC"}, Settings {}},
        {{"/N:"}, Settings {}},
        {{"/N: 12"}, With([](Settings& s) { s.number = 12; })},
        {{"/N:+4days"}, With([](Settings& s) { s.number = 4; })},
        {{"/N:5", "/N:7"}, With([](Settings& s) { s.number = 7; })},
        // Out of range saturates instead of overflowing.
        {{"/N:99999999999"}, With([](Settings& s) { s.number = INT_MAX; })},
        {{"/G:-99999999999"}, With([](Settings& s) { s.group = INT_MIN; })},
    });
}

TEST(CmdLine, TextValuesTrimOneBlankAndKeepPathCase)
{
    CheckTable({
        {{"/S:/data/A.HST "}, With([](Settings& s) { s.source = "/data/A.HST"; })},
        {{"/S:/data/A.HST  "}, With([](Settings& s) { s.source = "/data/A.HST "; })},
        {{"/S: "}, Settings {}},
        {{"/D:"}, Settings {}},
        {{"/D:12/30/24 "}, With([](Settings& s) { s.date = "12/30/24"; })},
        {{"/d:jan"}, With([](Settings& s) { s.date = "JAN"; })},   // the date is upper-cased
        {{"/s:/Data/x.Hst"}, With([](Settings& s) { s.source = "/Data/x.Hst"; })},
        {{"-r:Out.HSZ"}, With([](Settings& s) { s.target = "Out.HSZ"; })},
        {{"/R:a", "/R:b"}, With([](Settings& s) { s.target = "b"; })},
        {{"/Register"}, With([](Settings& s) { s.target = "gister"; })},
        {{"/SX"}, Settings {}},   // source becomes the empty text
        {{"/HIDE"}, With([](Settings& s) { s.hidden = TRUE; })},
        {{"-h"}, With([](Settings& s) { s.hidden = TRUE; })},
    });
}

TEST(CmdLine, ParametersTheSwitchesDoNotTake)
{
    CTambleCmdLine cmd;
    Parse(cmd, {"file.hst", "/X:abc", "Z:C", "/", "-", "/9"});
    EXPECT_EQ(SettingsOf(cmd), Settings {});
    EXPECT_EQ(cmd.m_params, (Args {"file.hst", "Z:C"}));
    // Unknown switches reach the base record unconverted.
    EXPECT_EQ(cmd.m_otherSwitches, (Args {"X:abc", "", "", "9"}));
    EXPECT_TRUE(cmd.m_options.empty());
}

TEST(CmdLine, ParametersIgnoredOrReadInPartAreNamed)
{
    struct Case {
        const char* arg;
        UINT textId;   // 0: no warning
        const char* readAs;
    };
    const Case cases[] = {
        {"/F:10", IDS_WARN_UNKNOWN_SWITCH, ""},
        {"/N:30x", IDS_WARN_PARTLY_READ, "/N:30"},
        {"/G:0A", IDS_WARN_PARTLY_READ, "/G:0"},
        {"/N:99999999999", IDS_WARN_PARTLY_READ, "/N:2147483647"},
        {"/Z:X", IDS_WARN_NO_VALUE, ""},
        {"/T", IDS_WARN_NO_VALUE, ""},
        {"/Z:COMPRESS", IDS_WARN_PARTLY_READ, "/Z:C"},
        {"/ZXE", IDS_WARN_PARTLY_READ, "/Z:E"},
        {"/Register", IDS_WARN_PARTLY_READ, "/R:gister"},
        {"/HIDE", IDS_WARN_PARTLY_READ, "/H"},
        {"/N:30", 0, ""},
        {"/N: -3 ", 0, ""},
        {"/N:", 0, ""},
        {"/G:10", 0, ""},
        {"/S:/x y ", 0, ""},
        {"-h", 0, ""},
        {"/Z:c", 0, ""},
    };
    for (const Case& c : cases) {
        CTambleCmdLine cmd;
        Parse(cmd, {c.arg});
        if (c.textId == 0) {
            EXPECT_TRUE(cmd.m_warnings.empty()) << c.arg;
            continue;
        }
        ASSERT_EQ(cmd.m_warnings.size(), 1u) << c.arg;
        EXPECT_EQ(cmd.m_warnings[0].textId, c.textId) << c.arg;
        EXPECT_EQ(cmd.m_warnings[0].param, c.arg) << c.arg;
        EXPECT_EQ(cmd.m_warnings[0].readAs, c.readAs) << c.arg;
        EXPECT_EQ(cmd.m_warnings[0].decimalHint, std::string(c.arg) == "/G:0A") << c.arg;
    }
}

TEST(CmdLine, GnuOptionsAreNotSwitches)
{
    CTambleCmdLine cmd;
    Parse(cmd, {"--help", "--Hide", "--source=/x", "--method=lzss", "/Z:E", "--version"});
    EXPECT_EQ(SettingsOf(cmd), With([](Settings& s) { s.zip = 2; }));
    EXPECT_EQ(cmd.m_options, (Args {"help", "Hide", "source=/x", "method=lzss", "version"}));
    EXPECT_TRUE(cmd.HasOption("method"));
    EXPECT_TRUE(cmd.HasOption("help"));
    EXPECT_FALSE(cmd.HasOption("meth"));
    EXPECT_FALSE(cmd.HasOption("test"));
    EXPECT_TRUE(cmd.m_otherSwitches.empty());
}

TEST(CmdLine, FileListAfterTestOrInfo)
{
    // Without --test, "/home/..." is an H switch and "/srv/..." an S switch.
    CTambleCmdLine plain;
    Parse(plain, {"/home/a.hsz", "/srv/b.hsz"});
    EXPECT_EQ(SettingsOf(plain), With([](Settings& s) { s.hidden = TRUE, s.source = "v/b.hsz"; }));

    for (const char* option : {"--test", "--info"}) {
        CTambleCmdLine cmd;
        Parse(cmd, {"/Z:E", option, "/home/a.hsz", "rel.hsz", "/srv/b.hsz", "-H"});
        EXPECT_EQ(SettingsOf(cmd), With([](Settings& s) { s.zip = 2, s.hidden = TRUE; })) << option;
        EXPECT_EQ(cmd.m_params, (Args {"/home/a.hsz", "rel.hsz", "/srv/b.hsz"})) << option;
    }
}

// A value after a space, whatever it begins with; "-" as standard input in a
// file list (a lone "-" before a job stays a switch without a letter); -k.
TEST(CmdLine, OptionValuesAfterASpaceStandardInputAndKeep)
{
    CTambleCmdLine cmd;
    Parse(cmd, {"--output-dir", "/srv/out", "--jobs", "-2", "--method=lzss", "-k", "/Z:E", "--quiet", "-"});
    EXPECT_EQ(cmd.m_options, (Args {"output-dir=/srv/out", "jobs=-2", "method=lzss", "keep", "quiet"}));
    EXPECT_EQ(SettingsOf(cmd), With([](Settings& s) { s.zip = 2; }));
    EXPECT_TRUE(cmd.m_params.empty());
    ASSERT_EQ(cmd.m_warnings.size(), 1u);   // the lone "-"
    EXPECT_EQ(cmd.m_warnings[0].param, "/");

    CTambleCmdLine list;
    Parse(list, {"--cat", "-", "/srv/a.hsz", "--progress"});
    EXPECT_EQ(list.m_params, (Args {"-", "/srv/a.hsz"}));
    EXPECT_EQ(list.m_options, (Args {"cat", "progress"}));   // its value missing: ParseOptions refuses it
}

TEST(CmdLine, DoubleDashEndsSwitches)
{
    CTambleCmdLine cmd;
    Parse(cmd, {"--test", "--", "-odd.hsz", "/Z:C", "--", "--help"});
    EXPECT_EQ(SettingsOf(cmd), Settings {});
    EXPECT_EQ(cmd.m_options, (Args {"test"}));
    EXPECT_EQ(cmd.m_params, (Args {"-odd.hsz", "/Z:C", "--", "--help"}));
}

TEST(CmdLine, ParseCommandLineStripsOneMarkAndFlagsTheLast)
{
    struct Recorder : CCommandLineInfo {
        std::vector<std::tuple<std::string, BOOL, BOOL>> calls;
        void ParseParam(const char* p, BOOL flag, BOOL last) override { calls.emplace_back(p, flag, last); }
    } rec;
    Parse(rec, {"/Z:C", "--help", "-/x", "//y", "bare", ""});
    using Call = std::tuple<std::string, BOOL, BOOL>;
    EXPECT_EQ(rec.calls, (std::vector<Call> {
                             {"Z:C", 1, 0}, {"-help", 1, 0}, {"/x", 1, 0}, {"/y", 1, 0}, {"bare", 0, 0}, {"", 0, 1}}));

    Recorder none;
    Parse(none, {});
    EXPECT_TRUE(none.calls.empty());
}
