// Settings-file lookup, the user's folders and the product folders.
#include "hostenv/ProductFolder.h"
#include "hostenv/ProfileString.h"
#include "hostenv/ShellFolders.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

std::string WriteText(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string Profile(const std::string& file, const char* section, const char* key, const char* def = "dflt")
{
    return GetProfileString(file, section, key, def);
}

TEST(ProfileString, SectionsAndKeysIgnoreCase)
{
    TempDir dir;
    const std::string ini = WriteText(dir / "a.ini", "[oem]\nproductname = Acme Corp \n[INSTALL]\nVERSION=7.0\n");
    EXPECT_EQ(Profile(ini, "OEM", "ProductName"), "Acme Corp");
    EXPECT_EQ(Profile(ini, "Install", "Version"), "7.0");
    // The key belongs to its own section only.
    EXPECT_EQ(Profile(ini, "Install", "ProductName"), "dflt");
}

TEST(ProfileString, DefaultWhenFileSectionOrKeyIsMissing)
{
    TempDir dir;
    const std::string ini = WriteText(dir / "a.ini", "[OEM]\nCompanyID=40\n");
    EXPECT_EQ(Profile(dir / "none.ini", "OEM", "CompanyID"), "dflt");
    EXPECT_EQ(Profile(ini, "Install", "CompanyID"), "dflt");
    EXPECT_EQ(Profile(ini, "OEM", "ProductName"), "dflt");
    EXPECT_EQ(Profile(ini, "OEM", "ProductName", nullptr), "");
    EXPECT_EQ(Profile(ini, "OEM", "ProductName", "6.1  "), "6.1");   // trailing blanks of a default go
    EXPECT_EQ(Profile(ini, nullptr, "CompanyID"), "dflt");
    // A folder of that name is no settings file.
    std::filesystem::create_directories(dir / "folder.ini");
    EXPECT_EQ(Profile(dir / "folder.ini", "OEM", "CompanyID"), "dflt");
}

TEST(ProfileString, ValueIsCutToTheBuffer)
{
    TempDir dir;
    const std::string ini = WriteText(dir / "a.ini", "[S]\nK=ABCDEFGHIJ\nU=Gr\xC3\xBC\xC3\x9F"
                                                     "e\n");
    char buffer[16];
    EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buffer, 5, ini.c_str()), 4u);
    EXPECT_STREQ(buffer, "ABCD");
    EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buffer, 1, ini.c_str()), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetPrivateProfileStringA("S", "missing", "default", buffer, 4, ini.c_str()), 3u);
    EXPECT_STREQ(buffer, "def");
    // A cut never leaves half a UTF-8 character behind.
    GetPrivateProfileStringA("S", "U", "", buffer, 4, ini.c_str());
    EXPECT_STREQ(buffer, "Gr");
    buffer[0] = 'x';
    EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buffer, 0, ini.c_str()), 0u);
    EXPECT_EQ(buffer[0], 'x');
}

TEST(ProfileString, LayoutOfHandWrittenFiles)
{
    TempDir dir;
    // Indented keys, quoted values, a repeated key, and an over-long line whose
    // tail must not be read as a line of its own.
    const std::string longLine = "Note=" + std::string(194, 'x') + "CompanyID=666";
    const std::string ini = WriteText(dir / "a.ini", "\xEF\xBB\xBF[OEM]\r\n"
                                                     "    ProductName = \"Acme\"\r\n"
                                                     "    CompanyID=40\r\n"
                                                     "    CompanyID=41\r\n"
                                                         + longLine + "\r\n[Install]\n\tVersion='8.0'\n");
    EXPECT_EQ(Profile(ini, "OEM", "ProductName"), "Acme");
    EXPECT_EQ(Profile(ini, "OEM", "CompanyID"), "40");
    EXPECT_EQ(Profile(ini, "Install", "Version"), "8.0");

    const std::string tailOnly = WriteText(dir / "b.ini", "[OEM]\n" + longLine + "\n");
    EXPECT_EQ(Profile(tailOnly, "OEM", "CompanyID"), "dflt");
}

TEST(ProfileString, ExistenceOfFilesAndFolders)
{
    TempDir dir;
    const std::string file = WriteText(dir / "f", "x");
    EXPECT_TRUE(FileExists(file.c_str()));
    EXPECT_FALSE(FolderExists(file.c_str()));
    EXPECT_TRUE(FolderExists(dir.Path().c_str()));
    EXPECT_FALSE(FileExists(dir.Path().c_str()));
    EXPECT_FALSE(FileExists((dir / "missing").c_str()));
    EXPECT_FALSE(FolderExists((dir / "missing").c_str()));
    EXPECT_FALSE(FileExists(nullptr));
    EXPECT_FALSE(FolderExists(nullptr));
    EXPECT_FALSE(FolderExists(""));
}

#ifdef _WIN32
// On Windows the user's folders are the shell's and the names end with a
// backslash; the settings file is the one beside the program only.
class ShellProductFolderTest : public ::testing::Test {
protected:
    std::string Folder(int kind)
    {
        char buffer[1024];
        EXPECT_EQ(GetProductFolderFor(m_exe, buffer, sizeof buffer, kind), buffer);
        return buffer;
    }
    static std::string Shell(int csidl)
    {
        std::string path;
        EXPECT_TRUE(ShellGetKnownFolderPath(csidl, path));
        return path + "\\";
    }
    void WriteSettings(const std::string& text) { WriteText(m_dir / "opt/Program Settings.ini", text); }

    TempDir m_dir;
    std::string m_exe = m_dir / "opt/tamble.exe";
};

TEST_F(ShellProductFolderTest, SettingsNameTheSubfolderOfTheShellFolder)
{
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), Shell(CSIDL_LOCAL_APPDATA));
    EXPECT_EQ(Folder(PRODUCT_FOLDER_PROJECTS), Shell(CSIDL_PERSONAL));
    WriteSettings("[OEM]\r\nCompanyID=40\r\nProductName=M\xC3\xBCller\r\n");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), Shell(CSIDL_LOCAL_APPDATA) + "M\xC3\xBCller\\");
    WriteSettings("[OEM]\nCompanyID=7\nProductName=Acme\n[Install]\nVersion=9.9\n");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_PROJECTS), Shell(CSIDL_PERSONAL) + "Acme v9.9 Projects\\");
    EXPECT_EQ(Folder(2), m_dir / "opt/");
    // A folder of the settings file's name is none.
    std::filesystem::remove(m_dir / "opt/Program Settings.ini");
    std::filesystem::create_directories(m_dir / "opt/Program Settings.ini");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), Shell(CSIDL_LOCAL_APPDATA));
}

TEST(ShellFolders, KnownFolderAndTheOlderLookupAgree)
{
    for (int csidl : {CSIDL_LOCAL_APPDATA, CSIDL_PERSONAL}) {
        std::string known, older;
        ASSERT_TRUE(ShellGetKnownFolderPath(csidl, known));
        ASSERT_TRUE(ShellGetFolderPath(csidl, older));
        EXPECT_EQ(known, older);
        EXPECT_NE(known.back(), '\\');
    }
    std::string path = "unchanged";
    EXPECT_FALSE(ShellGetKnownFolderPath(99, path));
    EXPECT_FALSE(ShellGetFolderPath(99, path));
    EXPECT_EQ(path, "unchanged");
}
#else
// A home, data and config folder of the test's own, and an executable folder.
class ProductFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_env.Set("HOME", m_dir / "home");
        m_env.Unset("XDG_DATA_HOME");
        m_env.Unset("XDG_CONFIG_HOME");
        m_env.Set(TAMBLE_SETTINGS_DIR_VARIABLE, m_dir / "etc/tamble");
        m_exe = m_dir / "opt/tamble";
    }

    std::string Folder(int kind, std::size_t size = 4096)
    {
        std::vector<char> buffer(size, '#');
        const char* result = GetProductFolderFor(m_exe, buffer.data(), buffer.size(), kind);
        EXPECT_EQ(result, buffer.data());
        return buffer.data();
    }

    void WriteSettings(const std::string& text) { WriteText(m_dir / "opt/Program Settings.ini", text); }

    TempDir m_dir;
    ScopedEnv m_env;
    std::string m_exe;
};

TEST_F(ProductFolderTest, WithoutSettingsTheUserFoldersThemselves)
{
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "home/.local/share/");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_PROJECTS), m_dir / "home/Documents/");

    m_env.Set("XDG_DATA_HOME", m_dir / "data//");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "data/");
    // XDG ignores relative settings.
    m_env.Set("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "home/.local/share/");
}

TEST_F(ProductFolderTest, SettingsNameTheSubfolder)
{
    m_env.Set("XDG_DATA_HOME", m_dir / "data");
    WriteSettings("[OEM]\nCompanyID=40\nProductName=Acme\n[Install]\nVersion=9.9\n");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "data/Acme/");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_PROJECTS), m_dir / "home/Documents/Acme Projects/");

    WriteSettings("[OEM]\nCompanyID=7\nProductName=Acme\n[Install]\nVersion=9.9\n");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "data/Acme v9.9/");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_PROJECTS), m_dir / "home/Documents/Acme v9.9 Projects/");

    WriteSettings("; nothing set\n");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "data/Keldo v6.1/");

    // Any other kind is the executable's folder, settings or not.
    EXPECT_EQ(Folder(2), m_dir / "opt/");
    EXPECT_EQ(Folder(-1), m_dir / "opt/");
}

TEST_F(ProductFolderTest, SettingsFileThatIsAFolderCountsAsNone)
{
    std::filesystem::create_directories(m_dir / "opt/Program Settings.ini");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "home/.local/share/");
}

TEST_F(ProductFolderTest, SettingsBesideTheProgramThenInTheSystemFolder)
{
    // The tests' system folder is one of their own, never the machine's.
    EXPECT_STREQ(TAMBLE_SETTINGS_FOLDER, "/etc/tamble/");
    EXPECT_EQ(SystemSettingsFolder("/opt/x/tamble"), m_dir / "etc/tamble/");
    m_env.Set("XDG_DATA_HOME", m_dir / "data");
    WriteText(m_dir / "etc/tamble/Program Settings.ini", "[OEM]\nCompanyID=40\nProductName=System\n");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "data/System/");
    WriteSettings("[OEM]\nCompanyID=40\nProductName=Beside\n");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "data/Beside/");
    // A settings file beside the program that is refused counts as absent.
    std::filesystem::remove(m_dir / "opt/Program Settings.ini");
    std::filesystem::create_symlink("/dev/zero", m_dir / "opt/Program Settings.ini");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "data/System/");
    m_env.Set(TAMBLE_SETTINGS_DIR_VARIABLE, "");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), m_dir / "data/");
    m_env.Unset(TAMBLE_SETTINGS_DIR_VARIABLE);
    // Installed below a prefix, the program reads that prefix's settings folder.
    EXPECT_EQ(SystemSettingsFolder("/usr/local/lib/tamble/tamble"), "/usr/local/etc/tamble/");
    EXPECT_EQ(SystemSettingsFolder("/usr/lib/tamble/tamble"), "/etc/tamble/");
    EXPECT_EQ(SystemSettingsFolder("/opt/x/tamble"), TAMBLE_SETTINGS_FOLDER);
}

TEST_F(ProductFolderTest, DocumentsFolderFromUserDirs)
{
    WriteSettings("[OEM]\nCompanyID=40\nProductName=Acme\n");
    WriteText(m_dir / "home/.config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_PROJECTS), m_dir / "home/Dokumente/Acme Projects/");

    m_env.Set("XDG_CONFIG_HOME", m_dir / "cfg");
    WriteText(m_dir / "cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/My \\\"Docs\\\"/\"\n");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_PROJECTS), "/srv/My \"Docs\"/Acme Projects/");

    // An entry that is neither absolute nor below $HOME is not used.
    WriteText(m_dir / "cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"Docs\"\n");
    EXPECT_EQ(Folder(PRODUCT_FOLDER_PROJECTS), m_dir / "home/Documents/Acme Projects/");
}

TEST_F(ProductFolderTest, ResultStaysWithinTheBuffer)
{
    m_env.Set("XDG_DATA_HOME", m_dir / "data");
    const std::string full = Folder(PRODUCT_FOLDER_DATA);
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA, 10), full.substr(0, 9));

    char buffer[4] = "abc";
    EXPECT_EQ(GetProductFolderFor(m_exe, nullptr, 10, PRODUCT_FOLDER_DATA), nullptr);
    EXPECT_EQ(GetProductFolderFor(m_exe, buffer, 0, PRODUCT_FOLDER_DATA), nullptr);
    EXPECT_STREQ(buffer, "abc");

    // An executable path that cannot be had gives the empty string.
    m_exe.clear();
    EXPECT_EQ(Folder(PRODUCT_FOLDER_DATA), "");
}

TEST_F(ProductFolderTest, LongProductNameKeepsTheProjectsSuffix)
{
    WriteSettings("[OEM]\nCompanyID=40\nProductName=" + std::string(180, 'P') + "\n");
    const std::string folder = Folder(PRODUCT_FOLDER_PROJECTS);
    // The name is cut to 127 bytes; " Projects/" is still appended.
    EXPECT_EQ(folder, m_dir / "home/Documents/" + std::string(127, 'P') + " Projects/");
}

#endif

TEST(BuildProductName, NameWithAndWithoutVersion)
{
    TempDir dir;
    const std::string ini = WriteText(dir / "s.ini", "[OEM]\nProductName=Acme\n[Install]\nVersion=2.5\n");
    char buffer[64];
    EXPECT_STREQ(BuildProductName(ini.c_str(), buffer, sizeof buffer, true), "Acme v2.5");
    EXPECT_STREQ(BuildProductName(ini.c_str(), buffer, sizeof buffer, false), "Acme");
    EXPECT_STREQ(BuildProductName((dir / "none.ini").c_str(), buffer, sizeof buffer, true), "Keldo v6.1");
    EXPECT_STREQ(BuildProductName(ini.c_str(), buffer, 6, true), "Acme ");
}

#ifndef _WIN32
TEST(ShellFolders, HomeDefaultsAndUnknownNumbers)
{
    TempDir dir;
    ScopedEnv env;
    env.Set("HOME", dir.Path() + "/");
    env.Unset("XDG_DATA_HOME");
    std::string path = "unchanged";
    EXPECT_FALSE(ShellGetKnownFolderPath(CSIDL_LOCAL_APPDATA, path));
    EXPECT_EQ(path, "unchanged");
    ASSERT_TRUE(ShellGetFolderPath(CSIDL_LOCAL_APPDATA, path));
    EXPECT_EQ(path, dir / ".local/share");
    EXPECT_FALSE(ShellGetFolderPath(99, path));
    EXPECT_FALSE(ShellGetKnownFolderPath(99, path));
}
#endif

}   // namespace
