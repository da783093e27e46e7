// Culture names, the user's locale, the resource library search and the text
// lookup through the loaded library.
#include "app/Language.h"
#include "hostenv/ProductFolder.h"
#include "platform/ResourceAbi.h"
#include "platform/ResourceLibrary.h"
#include "platform/StartupFile.h"
#include "platform/StringIds.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#ifndef _WIN32
#include "tests/support/TambleRun.h"
#endif

#include <gtest/gtest.h>

#ifndef _WIN32
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The program's name and its language libraries' (Windows: resource-only DLLs
// named after tamble.exe).
#ifdef _WIN32
const std::string kExeName = "tamble.exe";
const std::string kLibraryName = "tamble-EXE-mui.dll";
#else
const std::string kExeName = "tamble";
const std::string kLibraryName = "tamble-mui.dll";
#endif
const std::string kGermanLibrary = std::string(TAMBLE_BINARY_DIR) + "/app/de/" + kLibraryName;
const std::string kFrenchLibrary = std::string(TAMBLE_BINARY_DIR) + "/app/fr/" + kLibraryName;

// A path as the tests compare them: '/' for every separator, and on Windows,
// whose names match in any case, in lower case.
std::string Slashes(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
#ifdef _WIN32
    for (char& c : path)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
    return path;
}

TEST(CultureTable, IdentifiersAndNames)
{
    EXPECT_STREQ(LcidToCultureName(0x0407), "de-DE");
    EXPECT_STREQ(LcidToCultureName(0x0409), "en-US");
    EXPECT_STREQ(LcidToCultureName(0x7C04), "zh-CHT");
    EXPECT_STREQ(LcidToCultureName(0x0004), "zh-CHS");
    EXPECT_STREQ(LcidToCultureName(0x081A), "sr-SP-Latn");
    EXPECT_STREQ(LcidToCultureName(0x7C1A), "sr");
    EXPECT_STREQ(LcidToCultureName(0x0017), "");    // a gap in the neutral rows
    EXPECT_STREQ(LcidToCultureName(0x10407), "");   // German with another sort order
    EXPECT_STREQ(LcidToCultureName(0), "");

    // 227 rows, every name found again when the table is read backwards.
    int rows = 0;
    for (UINT lcid = 0; lcid <= 0xFFFF; ++lcid) {
        const char* name = LcidToCultureName(lcid);
        if (*name == '\0')
            continue;
        ++rows;
        EXPECT_EQ(CultureNameToLcid(name), lcid) << name;
    }
    EXPECT_EQ(rows, 227);
    EXPECT_EQ(CultureNameToLcid("DE-de"), 0x0407u);
    EXPECT_EQ(CultureNameToLcid("xx-XX"), 0u);
    EXPECT_EQ(CultureNameToLcid(nullptr), 0u);
}

TEST(UserLocale, PosixLocaleNames)
{
    EXPECT_EQ(LocaleNameToLcid("de_DE.UTF-8"), 0x0407u);
    EXPECT_EQ(LocaleNameToLcid("fr_CA"), 0x0C0Cu);
    EXPECT_EQ(LocaleNameToLcid("zh_CN.GB18030"), 0x0804u);
    EXPECT_EQ(LocaleNameToLcid("de"), 0x0007u);
    EXPECT_EQ(LocaleNameToLcid("sr_SP@latin"), 0x081Au);
    // A region the table lacks falls back to the language.
    EXPECT_EQ(LocaleNameToLcid("de_BE.UTF-8"), 0x0007u);
    EXPECT_EQ(LocaleNameToLcid("sr_RS@latin"), 0x7C1Au);
    for (const char* english : {"C", "POSIX", "C.UTF-8", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(LocaleNameToLcid(english), 0x0409u) << (english ? english : "null");
    EXPECT_EQ(LocaleNameToLcid("tlh_QO.UTF-8"), LOCALE_CUSTOM_UNSPECIFIED);
    EXPECT_STREQ(LcidToCultureName(LOCALE_CUSTOM_UNSPECIFIED), "");
}

#ifndef _WIN32
TEST(UserLocale, EnvironmentOrder)
{
    ScopedEnv env;
    env.Unset("LC_ALL");
    env.Unset("LC_MESSAGES");
    env.Unset("LANG");
    EXPECT_EQ(GetUserDefaultLCID(), 0x0409u);
    env.Set("LANG", "fr_FR.UTF-8");
    EXPECT_EQ(GetUserDefaultLCID(), 0x040Cu);
    env.Set("LC_MESSAGES", "it_IT");
    EXPECT_EQ(GetUserDefaultLCID(), 0x0410u);
    env.Set("LC_ALL", "");   // empty is the same as unset
    EXPECT_EQ(GetUserDefaultLCID(), 0x0410u);
    env.Set("LC_ALL", "de_AT.UTF-8");
    EXPECT_EQ(GetUserDefaultLCID(), 0x0C07u);
}
#endif

TEST(ResourceDllName, NamedAfterTheExecutable)
{
    EXPECT_EQ(ResourceDllName("tamble"), "tamble-mui.dll");
    EXPECT_EQ(ResourceDllName("Tamble.exe"), "Tamble-EXE-mui.dll");
    EXPECT_EQ(ResourceDllName("Tamble.EXE"), "Tamble-EXE-mui.dll");
    EXPECT_EQ(ResourceDllName("x.Dll"), "x-DLL-mui.dll");
    EXPECT_EQ(ResourceDllName("a.b.ocx"), "a.b-OCX-mui.dll");
    EXPECT_EQ(ResourceDllName("a.bin"), "a.bin-mui.dll");
    EXPECT_EQ(ResourceDllName(".exe"), "");
    EXPECT_EQ(ResourceDllName(""), "");
}

#ifndef _WIN32
bool IsLoaded(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle != nullptr;
}
#endif

// An executable's folder with culture folders holding copies of the built
// German and French libraries.
class ResourceDllTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(kGermanLibrary)) << "build the language libraries first";
        m_exe = m_dir / kExeName;
    }
    void TearDown() override
    {
        FreeResourceDll(m_slot, m_instance);
        AfxSetResourceHandle(nullptr);
    }

    std::string Place(const std::string& library, const std::string& folder)
    {
        const std::string target = m_dir / (folder.empty() ? "" : folder + "/") + kLibraryName;
        fs::create_directories(fs::path(target).parent_path());
        fs::copy_file(library, target, fs::copy_options::overwrite_existing);
        return Slashes(target);
    }
    std::string Load(const char* culture)
    {
        LoadResourceDllFor(m_exe, culture, m_instance, m_slot);
        return m_slot == m_instance ? std::string("instance") : Slashes(GetModuleFileName(m_slot));
    }

    TempDir m_dir;
    std::string m_exe;
    HINSTANCE m_instance = AfxGetInstanceHandle();
    HINSTANCE m_slot = nullptr;
};

TEST_F(ResourceDllTest, CultureFolderFallsBackToShorterNames)
{
    const std::string de = Place(kGermanLibrary, "de");
    EXPECT_EQ(Load("de-DE"), de);
    EXPECT_EQ(Load("DE"), de);

    const std::string srSp = Place(kGermanLibrary, "sr-SP");
    Place(kGermanLibrary, "sr");
    EXPECT_EQ(Load("sr-SP-Latn"), srSp);
    EXPECT_EQ(Load("SR-sp-latn"), srSp);   // folders match in any case

    // No culture folder, or no culture: the library beside the executable.
    EXPECT_EQ(Load("it-IT"), "instance");
    const std::string beside = Place(kFrenchLibrary, "");
    EXPECT_EQ(Load("it-IT"), beside);
    EXPECT_EQ(Load(""), beside);
    EXPECT_EQ(Load(nullptr), beside);
}

TEST_F(ResourceDllTest, EnglishAndUnusableNamesLoadNothing)
{
    Place(kGermanLibrary, "");
    Place(kGermanLibrary, "en-US");
    EXPECT_EQ(Load("EN-us"), "instance");

    // A culture name must not lead out of the executable's folder.
    m_exe = m_dir / "bin/tamble";
    Place(kGermanLibrary, "evil");
    EXPECT_EQ(Load("../evil"), "instance");

    m_exe = "tamble";   // no folder
    EXPECT_EQ(Load("de"), "instance");
    m_exe = m_dir / ".exe";   // nothing left of the name
    EXPECT_EQ(Load("de"), "instance");
    m_exe = m_dir / "Tamble.EXE";
    const std::string named = m_dir / "de/Tamble-EXE-mui.dll";
    fs::create_directories(m_dir / "de");
    fs::copy_file(kGermanLibrary, named);
    EXPECT_EQ(Load("de-CH"), Slashes(named));
}

// Whether a library is still loaded cannot be asked on Windows, where a
// language library is mapped as data.
#ifndef _WIN32
TEST_F(ResourceDllTest, PreviousLibraryIsFreedButNeverTheInstance)
{
    const std::string de = Place(kGermanLibrary, "de");
    const std::string fr = Place(kFrenchLibrary, "fr");
    EXPECT_EQ(Load("de"), de);
    EXPECT_TRUE(IsLoaded(de));
    EXPECT_EQ(Load("fr"), fr);
    EXPECT_FALSE(IsLoaded(de));
    FreeResourceDll(m_slot, m_instance);
    EXPECT_EQ(m_slot, nullptr);
    EXPECT_FALSE(IsLoaded(fr));

    // A library that is the instance itself stays loaded.
    HINSTANCE library = LoadLibraryA(de.c_str());
    ASSERT_NE(library, nullptr);
    HINSTANCE slot = library;
    FreeResourceDll(slot, library);
    EXPECT_EQ(slot, nullptr);
    EXPECT_TRUE(IsLoaded(de));
    slot = library;
    LoadResourceDllFor(m_exe, "en-US", library, slot);
    EXPECT_EQ(slot, library);
    EXPECT_TRUE(IsLoaded(de));
    FreeLibrary(library);
}
#endif

TEST_F(ResourceDllTest, TextsComeFromTheLibraryThenEnglish)
{
    Place(kGermanLibrary, "de");
    Load("de-DE");
    ASSERT_NE(m_slot, m_instance);

    AfxSetResourceHandle(m_slot);
    EXPECT_EQ(LoadResString(IDS_SOURCE_LABEL), "Quelldatei:");
    EXPECT_EQ(LoadResString(IDS_ERR_OPEN_FILE), "Die Datei konnte nicht geöffnet werden!");
    EXPECT_EQ(LoadResString(IDT_SOURCE_NAME), "...");   // not translated: English
    EXPECT_EQ(LookupResString(9999), nullptr);
    EXPECT_EQ(LoadResString(9999), "");
    UINT size = 7;
    EXPECT_EQ(LookupResIcon(128, &size), nullptr);   // the program's own icon
    EXPECT_EQ(size, 0u);

    AfxSetResourceHandle(m_instance);
    EXPECT_EQ(LoadResString(IDS_SOURCE_LABEL), "Source File:");
    AfxSetResourceHandle(nullptr);
    EXPECT_EQ(LoadResString(IDS_WAIT_COMPRESS_FILE), "Pleae wait while the files are compressed.");

    // A library without the program's texts gives English throughout.
#ifdef _WIN32
    HMODULE other = LoadLibraryA(GetModuleFileName(nullptr).c_str());   // this test, no string table
#else
    HMODULE other = LoadLibraryA("libm.so.6");
#endif
    ASSERT_NE(other, nullptr);
    AfxSetResourceHandle(other);
    EXPECT_EQ(LoadResString(IDS_OVERALL_LABEL), "Overall:");
    AfxSetResourceHandle(nullptr);
    FreeLibrary(other);
}

TEST(LanguageLibraries, TranslateTheDialogTexts)
{
    for (const std::string& path : {kGermanLibrary, kFrenchLibrary}) {
        HMODULE library = LoadLibraryA(path.c_str());
        ASSERT_NE(library, nullptr) << path;
        auto text = [library](UINT id) { return LibraryString(library, id); };
        for (UINT id : {129u, 130u, 131u, 132u, 133u, 134u, 135u, 1001u, 1002u, 1003u, 1007u, 2002u, 2003u, 3001u}) {
            ASSERT_NE(text(id), nullptr) << path << " id " << id;
            EXPECT_STRNE(text(id), EnglishString(id)) << path << " id " << id;
        }
        EXPECT_EQ(text(9999), nullptr);
        FreeLibrary(library);
    }
}

// Every text of the program has a German and a French translation, so a new
// id cannot be forgotten; a text without letters ("...") needs none.  A
// translated message keeps the English closing '!' or ':', and the --help
// body keeps within 80 columns.
TEST(LanguageLibraries, TranslateEveryText)
{
    struct English {
        UINT id;
        std::string text;
    };
    const English texts[] = {
#define TAMBLE_ENGLISH_TEXT(name, number, text) {name, text},
        TAMBLE_STRINGS(TAMBLE_ENGLISH_TEXT)
#undef TAMBLE_ENGLISH_TEXT
    };
    auto codePoints = [](const std::string& line) {
        return std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; });
    };
    for (const std::string& path : {kGermanLibrary, kFrenchLibrary}) {
        HMODULE library = LoadLibraryA(path.c_str());
        ASSERT_NE(library, nullptr) << path;
        auto text = [library](UINT id) { return LibraryString(library, id); };
        for (const English& english : texts) {
            auto letter = [](unsigned char c) { return std::isalpha(c) != 0; };
            if (std::none_of(english.text.begin(), english.text.end(), letter))
                continue;
            const char* translated = text(english.id);
            ASSERT_NE(translated, nullptr) << path << " has no text for id " << english.id;
            const std::string mine = translated;
            ASSERT_FALSE(mine.empty()) << path << " id " << english.id;
            const char last = english.text.back();
            if (last == '!' || last == ':') {
                EXPECT_EQ(mine.back(), last) << path << " id " << english.id << ": " << mine;
            }
        }
        std::istringstream usage(text(IDS_USAGE_TEXT));
        for (std::string line; std::getline(usage, line);)
            EXPECT_LE(codePoints(line), 80) << path << ": " << line;
        FreeLibrary(library);
    }
}

TEST(ModulePath, ExecutableAndLibraries)
{
#ifdef _WIN32
    const std::string self = GetModuleFileName(nullptr);
    EXPECT_EQ(fs::path(self).filename(), "language_test.exe");
#else
    const std::string self = fs::canonical("/proc/self/exe").string();
#endif
    EXPECT_EQ(GetModuleFileName(nullptr), self);
    EXPECT_EQ(GetModuleFileName(AfxGetInstanceHandle()), self);

    HMODULE library = LoadLibraryA(kGermanLibrary.c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(GetModuleFileName(library), kGermanLibrary);
    FreeLibrary(library);

    char buffer[6];
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), sizeof buffer);
    EXPECT_EQ(std::string(buffer), self.substr(0, 5));
    EXPECT_EQ(LoadLibraryA((std::string(TAMBLE_BINARY_DIR) + "/no-such.dll").c_str()), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

// The per-user settings and the locale of these come from the environment on
// Linux only.
#ifndef _WIN32
// The language chosen at start-up, with the per-user settings in a scratch home.
class CultureChoiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_env.Set("HOME", m_dir / "home");
        m_env.Set("XDG_DATA_HOME", m_dir / "data");
        m_env.Unset("LC_ALL");
        m_env.Unset("LC_MESSAGES");
        m_env.Set("LANG", "de_DE.UTF-8");
        m_env.Set(TAMBLE_SETTINGS_DIR_VARIABLE, m_dir / "etc");   // never the machine's own
        m_exe = m_dir / "opt/tamble";
    }
    void Write(const std::string& name, const std::string& text)
    {
        fs::create_directories(fs::path(m_dir / name).parent_path());
        std::ofstream(m_dir / name) << text;
    }

    TempDir m_dir;
    ScopedEnv m_env;
    std::string m_exe;
};

TEST_F(CultureChoiceTest, PerUserSettingThenLocale)
{
    EXPECT_EQ(ChooseCultureNameFor(m_exe), "de-DE");
    Write("data/Program Settings.ini", "[language]\nculturename=fr-CA\n");
    EXPECT_EQ(ChooseCultureNameFor(m_exe), "fr-CA");
    Write("data/Program Settings.ini", "[Language]\nCultureName=\n");
    EXPECT_EQ(ChooseCultureNameFor(m_exe), "de-DE");

    // With a product settings file the per-user file lies in the product's folder.
    Write("opt/Program Settings.ini", "[OEM]\nCompanyID=40\nProductName=Acme\n");
    Write("data/Acme/Program Settings.ini", "[Language]\nCultureName=EN-us\n");
    EXPECT_EQ(ChooseCultureNameFor(m_exe), "EN-us");

    m_env.Set("LANG", "de_DE.UTF-8@euro");
    fs::remove(m_dir / "data/Acme/Program Settings.ini");
    EXPECT_EQ(ChooseCultureNameFor(m_exe), "de-DE");
    m_env.Set("LC_ALL", "C");
    EXPECT_EQ(ChooseCultureNameFor(m_exe), "en-US");
}

TEST_F(CultureChoiceTest, GermanLocaleShowsGermanTexts)
{
    const std::string library = m_dir / "opt/de/tamble-mui.dll";
    fs::create_directories(m_dir / "opt/de");
    fs::copy_file(kGermanLibrary, library);

    HINSTANCE instance = AfxGetInstanceHandle();
    HINSTANCE slot = nullptr;
    LoadResourceDllFor(m_exe, ChooseCultureNameFor(m_exe).c_str(), instance, slot);
    EXPECT_EQ(GetModuleFileName(slot), library);
    AfxSetResourceHandle(slot);
    EXPECT_EQ(LoadResString(IDS_WAIT_EXTRACT_HISTORY), "Bitte warten: Verlaufsdateien werden entpackt.");
    FreeResourceDll(slot, instance);
    AfxSetResourceHandle(instance);
    EXPECT_EQ(LoadResString(IDS_WAIT_EXTRACT_HISTORY), "Please wait while the history files are extracted.");
    AfxSetResourceHandle(nullptr);
}

// Odd files where start-up reads its settings and its language library.  Every
// run ends by itself (a hang ends in SIGALRM, a fault in its signal), in
// English, with one warning line that names the file and why; a sound German
// library with the same settings shows German.
TEST(StartupFiles, OddFilesAreRefusedWithoutHangingOrCrashing)
{
    TempDir dir;
    const std::string exe = dir / "opt/tamble";
    const std::string settings = dir / "data/Program Settings.ini";
    const std::string library = dir / "opt/de/tamble-mui.dll";
    fs::create_directories(dir / "opt/de");
    fs::create_directories(dir / "data");
    fs::copy_file(TAMBLE_EXE, exe);
    const std::vector<std::uint8_t> german = ReadWholeFile(kGermanLibrary);
    const std::string chooseGerman = "[Language]\nCultureName=de\n";
    auto setSettings = [&](const std::function<void()>& make) {
        fs::remove(settings);
        make();
    };
    auto writeSettings = [&](const std::string& text) { setSettings([&] { std::ofstream(settings) << text; }); };
    // The library's last loaded segment, which a cut file loses first.
    auto lastSegment = [](std::vector<std::uint8_t>& image) -> ElfW(Phdr) & {
        ElfW(Ehdr) header;
        std::memcpy(&header, image.data(), sizeof header);
        auto* segments = reinterpret_cast<ElfW(Phdr)*>(image.data() + header.e_phoff);
        int last = header.e_phnum - 1;
        while (segments[last].p_type != PT_LOAD)
            --last;
        return segments[last];
    };
    auto truncated = [&] {
        std::vector<std::uint8_t> image = german;
        const ElfW(Phdr)& segment = lastSegment(image);
        image.resize(segment.p_offset + segment.p_filesz - 1);
        return image;
    };
    auto segmentBeyondTheEnd = [&] {
        std::vector<std::uint8_t> image = german;
        lastSegment(image).p_offset = image.size() + 4096;
        return image;
    };

    struct Case {
        const char* name;
        std::function<void()> make;
        std::string refused, why;   // none refused: German
    };
    const Case cases[] = {
        {"sound library", [&] { writeSettings(chooseGerman), WriteWholeFile(library, german); }, "", ""},
        {"FIFO", [&] { setSettings([&] { ASSERT_EQ(mkfifo(settings.c_str(), 0600), 0); }); }, settings,
         "not a regular file (a FIFO)"},
        {"link to /dev/zero", [&] { setSettings([&] { fs::create_symlink("/dev/zero", settings); }); }, settings,
         "not a regular file (a device)"},
        {"oversized", [&] { writeSettings(chooseGerman + std::string(SETTINGS_FILE_LIMIT, ';')); }, settings,
         "larger than 1048576 bytes"},
        {"truncated library",
         [&] {
             writeSettings(chooseGerman);
             WriteWholeFile(library, truncated());
         },
         library, "a segment lies beyond the end"},
        {"segment beyond the end", [&] { WriteWholeFile(library, segmentBeyondTheEnd()); }, library,
         "a segment lies beyond the end"},
        {"not a library",
         [&] {
             WriteWholeFile(library, {'#', '!', '\n'});
         },
         library, "not an ELF file"},
    };
    TambleSetup setup;
    setup.program = exe;
    setup.timeLimit = 30;
    setup.env = {{"XDG_DATA_HOME", dir / "data"}, {"LANG", "C"}, {TAMBLE_SETTINGS_DIR_VARIABLE, dir / "etc"}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        test.make();
        const TambleResult run = RunTamble({"/Z:E", "/S:" + (dir / "missing"), "/R:" + (dir / "out"), "/H"}, setup);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, 1) << run.err;
        const char* opening
            = test.refused.empty() ? "Die Datei konnte nicht geöffnet werden!" : EnglishString(IDS_ERR_OPEN_FILE);
        EXPECT_NE(run.err.find(opening), std::string::npos) << run.err;
        std::size_t warnings = 0;
        for (std::size_t at = run.err.find("Warn"); at != std::string::npos; at = run.err.find("Warn", at + 1))
            ++warnings;
        EXPECT_EQ(warnings, test.refused.empty() ? 0u : 1u) << run.err;
        if (!test.refused.empty()) {
            EXPECT_NE(run.err.find(test.refused + ": " + test.why), std::string::npos) << run.err;
        }
    }
}
#endif

}   // namespace
