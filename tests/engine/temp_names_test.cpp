#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/utf8.h"
#include "engine/temp_names.h"
#ifndef _WIN32
#include <unistd.h>

#include "engine/xdg_user_dirs.h"
#endif

namespace orbenix {
namespace {

TEST(TempNames, DigitsHaveNoLeadingZerosAndTheNameEndsInTmp) {
    const std::u16string sep(1, kPathSeparator);
    const std::u16string folder = u"D" + sep + u"Quorvane" + sep + u"temp" + sep;
    struct Case { LocalTime time; int random; std::u16string name; } cases[] = {
        {{2026, 12, 6, 17, 5, 9}, 7, folder + u"202612617597.tmp"},
        {{2026, 1, 12, 0, 0, 0}, 0, folder + u"20261120000.tmp"},
        {{2026, 11, 2, 0, 0, 0}, 98, folder + u"202611200098.tmp"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TempFileName(TempFolder(u"D"), [&] { return c.time; }, c.random), c.name);
    }
    EXPECT_EQ(TempFileName(u"", [] { return LocalTime{2026, 1, 1, 0, 0, 0}; }, 5), u"2026110005.tmp");
}

TEST(TempNames, TheFolderJoinsWithOneSeparator) {
    const std::u16string sep(1, kPathSeparator);
    const std::u16string tail = u"Quorvane" + sep + u"temp" + sep;
    struct Case { std::u16string documents, folder; } cases[] = {
        {u"C:" + sep + u"Users" + sep + u"u" + sep + u"Documents",
         u"C:" + sep + u"Users" + sep + u"u" + sep + u"Documents" + sep + tail},
        {u"C:" + sep + u"Users" + sep + u"u" + sep + u"Documents" + sep,
         u"C:" + sep + u"Users" + sep + u"u" + sep + u"Documents" + sep + tail},
        {u"D:" + sep, u"D:" + sep + tail},   // a documents folder at a drive's root
        {u"", sep + tail},                   // unresolved: from the root of the current drive
    };
    for (const auto& c : cases) EXPECT_EQ(TempFolder(c.documents), c.folder) << Utf8FromText(c.documents);
}

TEST(TempNames, ClockIsReadForEachPart) {
    int reads = 0;
    TempFileName(u"", [&] { ++reads; return LocalTime{2026, 1, 1, 0, 0, 0}; }, 1);
    EXPECT_EQ(reads, 6);
}

TEST(TempNames, RandomNumbersStayBelow99) {
    for (int i = 0; i < 200; ++i) {
        const int r = ReseededRandom99();
        EXPECT_GE(r, 0);
        EXPECT_LE(r, 98);
    }
}

TEST(TempNames, RandomTempFileIsUnderTheDocumentsFolder) {
    const std::u16string documents = GetSpecialFolderLocation(kCsidlPersonal);
    EXPECT_FALSE(documents.empty());
    const std::u16string name = RandomTempFile();
    const std::u16string folder = TempFolder(documents);
    const std::u16string doubled(2, kPathSeparator);
    EXPECT_EQ(name.find(doubled), std::u16string::npos) << Utf8FromText(name);
    EXPECT_EQ(name.substr(0, folder.size()), folder);
    EXPECT_EQ(name.substr(name.size() - 4), u".tmp");
    const std::u16string digits = name.substr(folder.size(), name.size() - folder.size() - 4);
    EXPECT_GE(digits.size(), 10u);
    EXPECT_EQ(digits.find_first_not_of(u"0123456789"), std::u16string::npos);
}

TEST(TempNames, UnknownSpecialFolderIsEmpty) {
    EXPECT_EQ(GetSpecialFolderLocation(0x7ffe), u"");
}

#ifndef _WIN32
TEST(TempNames, DocumentsDirectoryFromTheXdgUserDirs) {
    struct Case { std::string file, home, dir; } cases[] = {
        {"", "/home/u", "/home/u/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", "/home/u", "/home/u/Dokumente"},
        {"# c\nXDG_DESKTOP_DIR=\"$HOME/D\"\n  XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n", "/home/u", "/srv/docs"},
        {"XDG_DOCUMENTS_DIR=\"relative\"\n", "/home/u", "/home/u/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/unterminated\n", "/home/u", "/home/u/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"", "/home/u", "/home/u/My \"Docs\""},
        {"", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(XdgDocumentsDir(c.file, c.home), c.dir) << c.file;
}

TEST(TempNames, NamingCreatesNothing) {
    const auto home = std::filesystem::temp_directory_path() /
                      ("orbenix-home-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    const char* old_home = std::getenv("HOME");
    const char* old_config = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old_home ? old_home : "";
    const std::string saved_config = old_config ? old_config : "";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    const std::u16string name = RandomTempFile();
    EXPECT_EQ(name.substr(0, home.string().size() + 21),
              TextFromUtf8(home.string()) + u"/Documents/Quorvane/t");
    EXPECT_TRUE(std::filesystem::is_empty(home));
    ::setenv("HOME", saved.c_str(), 1);
    if (old_config) ::setenv("XDG_CONFIG_HOME", saved_config.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(home);
}
#endif

}  // namespace
}  // namespace orbenix
