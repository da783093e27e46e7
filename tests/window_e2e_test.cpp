// The built program end to end, with its window on a virtual X display: a
// visible history job, the same in German, a failing conversion whose message
// box is closed from outside, and the runs that must never need a display.
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/XvfbRun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A history file name of a group, `daysAgo` days before today.
std::string HistoryName(int group, int daysAgo, const char* extension)
{
    std::time_t when = std::time(nullptr) - static_cast<std::time_t>(daysAgo) * 86400;
    std::tm local {};
    localtime_r(&when, &local);
    char name[32];
    std::snprintf(name, sizeof name, "%02X%02d%02d%02d%s", group, local.tm_year % 100, local.tm_mon + 1, local.tm_mday,
                  extension);
    return name;
}

std::vector<std::uint8_t> SampleBytes(int seed, std::size_t size)
{
    std::string text;
    for (int i = 0; text.size() < size; ++i)
        text += "t=" + std::to_string(1000 + i) + ";v=" + std::to_string((i * 37 + seed) % 1013) + "\n";
    text.resize(size);
    return {text.begin(), text.end()};
}

// A history folder with old plain files of two groups and one young file.
struct HistoryFolder {
    TempDir dir;
    std::vector<std::string> old;
    std::string young;

    HistoryFolder()
    {
        for (int daysAgo : {40, 41, 45}) {
            for (int group : {10, 11}) {
                old.push_back(HistoryName(group, daysAgo, ".hst"));
                WriteWholeFile(dir / old.back(), SampleBytes(daysAgo + group, 150000));
            }
        }
        young = HistoryName(10, 1, ".hst");
        WriteWholeFile(dir / young, SampleBytes(1, 1000));
    }

    void ExpectCompressed() const
    {
        for (const std::string& name : old) {
            EXPECT_FALSE(PathExists(dir / name)) << name;
            EXPECT_TRUE(PathExists(dir / (name.substr(0, name.size() - 4) + ".hsz"))) << name;
        }
        EXPECT_TRUE(PathExists(dir / young));
    }
};

// The environment of a run: its own home, no user settings, a language.
ProcessOptions RunOptions(const TempDir& home, const std::string& lang)
{
    ProcessOptions options;
    options.setEnv = {
        {"HOME", home.Path()}, {"XDG_DATA_HOME", home / "data"}, {"XDG_CONFIG_HOME", home / "config"}, {"LANG", lang}};
    options.unsetEnv = {"LC_ALL", "LC_MESSAGES"};
    options.timeoutSeconds = 60;
    return options;
}

// The id of the first visible window whose class name matches, waiting for it.
std::string WaitForWindow(const std::string& className)
{
    ProcessOptions options;
    options.timeoutSeconds = 20;
    ProcessResult found
        = RunProcess({"xdotool", "search", "--sync", "--onlyvisible", "--classname", className}, options);
    std::istringstream ids(found.out);
    std::string id;
    ids >> id;
    return id;
}

std::string WindowProperty(const std::string& id, const std::string& property)
{
    return RunProcess({"xprop", "-id", id, property}).out;
}

bool MapsLibrary(pid_t pid, const std::string& part)
{
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(part) != std::string::npos)
            return true;
    return false;
}

#define REQUIRE_X_TOOLS()                                         \
    do {                                                          \
        if (!ProgramInPath("xdotool") || !ProgramInPath("xprop")) \
            GTEST_SKIP() << "xdotool or xprop is not installed";  \
    } while (0)

}   // namespace

TEST(WindowEndToEnd, VisibleHistoryJobConvertsItsFilesAndExitsZero)
{
    TAMBLE_RUN_UNDER_XVFB();
    REQUIRE_X_TOOLS();
    HistoryFolder history;
    TempDir home;
    BackgroundProcess tamble({TAMBLE_EXE, "/Z:C", "/T:A", "/S:" + history.dir.Path(), "/N:30"}, RunOptions(home, "C"));
    std::string id = WaitForWindow("^tamble$");
    ASSERT_FALSE(id.empty()) << "no progress window appeared";
    // A borderless window that still belongs in the taskbar, with its icon.
    EXPECT_EQ(WindowProperty(id, "_NET_WM_STATE").find("SKIP_TASKBAR"), std::string::npos);
    EXPECT_NE(WindowProperty(id, "_NET_WM_ICON").find("Icon (48 x 48)"), std::string::npos);
    EXPECT_NE(WindowProperty(id, "WM_CLASS").find("\"tamble\", \"Tamble\""), std::string::npos);

    ProcessResult result = tamble.Wait(60);
    EXPECT_EQ(result.status, 0) << result.err;
    history.ExpectCompressed();
    // The window has gone with the job.
    EXPECT_NE(RunProcess({"xdotool", "search", "--onlyvisible", "--classname", "^tamble$"}).status, 0);
}

TEST(WindowEndToEnd, TheSameInGerman)
{
    TAMBLE_RUN_UNDER_XVFB();
    REQUIRE_X_TOOLS();
    HistoryFolder history;
    TempDir home;
    BackgroundProcess tamble({TAMBLE_EXE, "/Z:C", "/T:A", "/S:" + history.dir.Path(), "/N:30"},
                             RunOptions(home, "de_DE.UTF-8"));
    std::string id = WaitForWindow("^tamble$");
    ASSERT_FALSE(id.empty()) << "no progress window appeared";
    // The dialog's texts come from the German library beside the program.
    EXPECT_TRUE(MapsLibrary(tamble.Pid(), "/de/tamble-mui.dll"));
    ProcessResult result = tamble.Wait(60);
    EXPECT_EQ(result.status, 0) << result.err;
    history.ExpectCompressed();
}

TEST(WindowEndToEnd, FailingConversionWaitsForItsMessageThenExitsOne)
{
    TAMBLE_RUN_UNDER_XVFB();
    REQUIRE_X_TOOLS();
    TempDir dir;
    TempDir home;
    BackgroundProcess tamble({TAMBLE_EXE, "/Z:E", "/S:" + (dir / "missing.lzw"), "/R:" + (dir / "out.txt")},
                             RunOptions(home, "C"));
    std::string box = WaitForWindow("^tamble-message$");
    ASSERT_FALSE(box.empty()) << "no message box appeared";
    EXPECT_NE(WindowProperty(box, "WM_NAME").find("\"Tamble\""), std::string::npos);
    // The program waits for the user: a while later it is still there.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(RunProcess({"xdotool", "search", "--onlyvisible", "--classname", "^tamble-message$"}).out.empty());

    // Enter on the box; xdotool may then complain that the box has gone
    // before the key was released, so its status tells nothing.
    RunProcess({"xdotool", "key", "--window", box, "Return"});
    ProcessResult result = tamble.Wait(20);
    EXPECT_FALSE(result.timedOut) << "the box did not close";
    EXPECT_EQ(result.status, 1);
    // The same text went to stderr, and nothing was written.
    EXPECT_NE(result.err.find("tamble: Couldn't open file! " + (dir / "missing.lzw")), std::string::npos) << result.err;
    EXPECT_FALSE(PathExists(dir / "out.txt"));
}

TEST(WindowEndToEnd, HiddenRunNeverNeedsTheDisplay)
{
    // No virtual display here: DISPLAY names a server that is not there.
    HistoryFolder history;
    TempDir home;
    ProcessOptions options = RunOptions(home, "C");
    options.setEnv.push_back({"DISPLAY", ":4097"});
    ProcessResult result = RunProcess({TAMBLE_EXE, "/Z:C", "/T:A", "/S:" + history.dir.Path(), "/N:30", "/H"}, options);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err.find("display"), std::string::npos) << result.err;
    history.ExpectCompressed();
}

TEST(WindowEndToEnd, UnusableDisplayFallsBackToLines)
{
    TempDir dir;
    TempDir home;
    WriteWholeFile(dir / "a.txt", SampleBytes(3, 5000));
    ProcessOptions options = RunOptions(home, "C");
    options.setEnv.push_back({"DISPLAY", ":4097"});
    ProcessResult result = RunProcess({TAMBLE_EXE, "/Z:C", "/S:" + (dir / "a.txt"), "/R:" + (dir / "a.lzw")}, options);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(PathExists(dir / "a.lzw"));
    // Asked for explicitly, the window that cannot be had is reported.
    ProcessResult forced = RunProcess(
        {TAMBLE_EXE, "/Z:E", "/S:" + (dir / "a.lzw"), "/R:" + (dir / "b.txt"), "--progress=window"}, options);
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_NE(forced.err.find(":4097"), std::string::npos) << forced.err;
    EXPECT_EQ(ReadWholeFile(dir / "b.txt"), SampleBytes(3, 5000));
}

TEST(WindowEndToEnd, ProgramLinksNoDisplayLibrary)
{
    if (!ProgramInPath("readelf"))
        GTEST_SKIP() << "readelf is not installed";
    ProcessResult program = RunProcess({"readelf", "-d", TAMBLE_EXE});
    ASSERT_EQ(program.status, 0) << program.err;
    for (const char* library : {"libfltk", "libX", "libxcb", "libfontconfig", "libpng"})
        EXPECT_EQ(program.out.find(library), std::string::npos) << library << " in\n" << program.out;
    ProcessResult module = RunProcess({"readelf", "-d", TAMBLE_BINARY_DIR "/app/tamble-window.so"});
    EXPECT_NE(module.out.find("libfltk"), std::string::npos) << module.out;
}

TEST(WindowEndToEnd, MissingOrBrokenWindowModuleFallsBackWithOneWarning)
{
    TempDir dir;
    TempDir home;
    const std::string exe = dir / "tamble";
    ASSERT_EQ(RunProcess({"cp", TAMBLE_EXE, exe}).status, 0);
    WriteWholeFile(dir / "a.txt", SampleBytes(5, 5000));
    ProcessOptions options = RunOptions(home, "C");
    options.setEnv.push_back({"DISPLAY", ":4097"});
    for (bool broken : {false, true}) {
        if (broken)
            WriteWholeFile(dir / "tamble-window.so", SampleBytes(6, 100));
        ProcessResult result
            = RunProcess({exe, "/Z:C", "/S:" + (dir / "a.txt"), "/R:" + (dir / "a.lzw"), "--progress=window"}, options);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(PathExists(dir / "a.lzw"));
        // One warning, and not a second one about the display.
        const std::string warning
            = "tamble: No window, the window module cannot be loaded: " + (dir / "tamble-window.so");
        EXPECT_NE(result.err.find(warning), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("No window", result.err.find(warning) + warning.size()), std::string::npos)
            << result.err;
        ASSERT_EQ(unlink((dir / "a.lzw").c_str()), 0);
    }
    // Without a display name the module is not even tried.
    options.setEnv.back() = {"DISPLAY", ""};
    ProcessResult quiet = RunProcess({exe, "/Z:C", "/S:" + (dir / "a.txt"), "/R:" + (dir / "a.lzw")}, options);
    EXPECT_EQ(quiet.err.find("module"), std::string::npos) << quiet.err;
}

TEST(WindowEndToEnd, TerminalDisplayOnAPseudoTerminal)
{
    if (!ProgramInPath("script"))
        GTEST_SKIP() << "script is not installed";
    TempDir dir;
    TempDir home;
    WriteWholeFile(dir / "a.txt", SampleBytes(5, 400000));
    ProcessOptions options = RunOptions(home, "C.UTF-8");
    options.unsetEnv.push_back("DISPLAY");
    options.setEnv.push_back({"TERM", "xterm"});
    std::string command
        = std::string("'") + TAMBLE_EXE + "' /Z:C '/S:" + (dir / "a.txt") + "' '/R:" + (dir / "a.lzw") + "'";
    ProcessResult result = RunProcess({"script", "-qec", command, "/dev/null"}, options);
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("Pleae wait while the files are compressed."), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Source File:"), std::string::npos);
    EXPECT_NE(result.out.find("100%"), std::string::npos);
    EXPECT_NE(result.out.find("\x1b[4A"), std::string::npos);   // redrawn in place
    EXPECT_TRUE(PathExists(dir / "a.lzw"));
}

TEST(WindowEndToEnd, ProgressOptionIsChecked)
{
    TempDir home;
    ProcessResult result
        = RunProcess({TAMBLE_EXE, "/Z:C", "/S:a", "/R:b", "--progress=sometimes"}, RunOptions(home, "C"));
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("--progress=sometimes"), std::string::npos) << result.err;
    ProcessResult help = RunProcess({TAMBLE_EXE, "--help"}, RunOptions(home, "C"));
    EXPECT_NE(help.out.find("--progress=window|terminal|none"), std::string::npos) << help.out;
}

TEST(WindowEndToEnd, InstalledProgramFindsItsLanguagesThroughTheLink)
{
    if (!ProgramInPath("cmake"))
        GTEST_SKIP() << "cmake is not in PATH";
    TempDir prefix;
    TempDir home;
    ProcessResult install = RunProcess({"cmake", "--install", TAMBLE_BINARY_DIR, "--prefix", prefix.Path()});
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    struct stat link {};
    ASSERT_EQ(lstat((prefix / "bin/tamble").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_TRUE(PathExists(prefix / "etc/tamble/Program Settings.ini"));
    EXPECT_TRUE(PathExists(prefix / "share/man/man1/tamble.1.gz"));
    // Started through the link, the program finds de/ beside its real file.
    ProcessResult run
        = RunProcess({prefix / "bin/tamble", "/Z:E", "/S:" + (home / "missing.lzw"), "/R:" + (home / "out.txt"), "/H"},
                     RunOptions(home, "de_DE.UTF-8"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Die Datei konnte nicht geöffnet werden!"), std::string::npos) << run.err;
    // Our own causes are German too, their numbers filled in.
    WriteWholeFile(home / "short.hsz", {'*', '*', '+', '+', 'L', 'Z', 'W', ' ', 5, 0});
    run = RunProcess({prefix / "bin/tamble", "--test", home / "short.hsz"}, RunOptions(home, "de_DE.UTF-8"));
    EXPECT_NE(run.err.find("beschädigt: kürzer als ihr Dateikopf von 16 Bytes (10 Bytes)"), std::string::npos)
        << run.err;

    // The manifest lists every installed file and link, and nothing else.
    std::set<std::string> manifest, tree;
    std::ifstream listed(TAMBLE_BINARY_DIR "/install_manifest.txt");
    for (std::string line; std::getline(listed, line);)
        manifest.insert(line);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(prefix.Path()))
        if (!entry.is_directory() || entry.is_symlink())
            tree.insert(entry.path().string());
    EXPECT_EQ(manifest, tree);
    for (const char* path : {"lib/tamble/tamble-window.so", "lib/tamble/fr/tamble-mui.dll", "etc/default/tamble",
                             "lib/systemd/system/tamble@.timer", "share/doc/tamble/examples/tamble",
                             "share/doc/tamble/copyright", "share/lintian/overrides/tamble"})
        EXPECT_TRUE(tree.count(prefix / path)) << path;
    // The unit reads its settings where this prefix put them.
    const std::vector<std::uint8_t> unit = ReadWholeFile(prefix / "lib/systemd/system/tamble@.service");
    EXPECT_NE(std::string(unit.begin(), unit.end()).find("EnvironmentFile=-" + (prefix / "etc/default/tamble")),
              std::string::npos);
    // The units name the installed program and pass systemd's own check.
    if (!ProgramInPath("systemd-analyze"))
        GTEST_SKIP() << "systemd-analyze is not installed";
    ProcessOptions units;
    // The trailing colon keeps the system's own units (timers.target) in the path.
    units.setEnv = {{"SYSTEMD_UNIT_PATH", prefix / "lib/systemd/system:"}};
    ProcessResult verify = RunProcess({"systemd-analyze", "verify", "--man=no", "tamble@var-lib-keldo-history.service",
                                       "tamble@var-lib-keldo-history.timer"},
                                      units);
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.out + verify.err, "");
}
