#include "scoped_env.h"
#include "support/desktop_files.h"
#include "support/files.h"
#include "support/veltro_error.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

// The desktop entry format's two layers: quoting inside the argument, then the string escape
// of the whole value, so that a literal backslash takes four.
TEST(DesktopExecArgument, QuotesEveryPathAndEscapesWhatTheFormatReserves) {
    EXPECT_EQ(desktop_exec_argument("/usr/bin/veltro"), "\"/usr/bin/veltro\"");
    EXPECT_EQ(desktop_exec_argument("/home/club pc/Veltro (new)/veltro"),
              "\"/home/club pc/Veltro (new)/veltro\"");
    EXPECT_EQ(desktop_exec_argument("/opt/a\"b"), R"("/opt/a\\"b")");
    EXPECT_EQ(desktop_exec_argument("/opt/$HOME`x`"), R"("/opt/\\$HOME\\`x\\`")");
    EXPECT_EQ(desktop_exec_argument("/opt/a\\b"), R"("/opt/a\\\\b")");
    // % starts a field code anywhere in Exec.
    EXPECT_EQ(desktop_exec_argument("/opt/100%/veltro"), "\"/opt/100%%/veltro\"");
    EXPECT_EQ(desktop_exec_argument("/opt/Zürich/veltro"), "\"/opt/Zürich/veltro\"");
}

TEST(DesktopExecArgument, APathAnEntryCannotHoldIsRefused) {
    for (const std::string& path :
         {std::string("/opt/a\nb/veltro"), std::string("/opt/a\tb"), std::string("/opt/\xff")}) {
        try {
            desktop_exec_argument(path);
            ADD_FAILURE() << path;
        } catch (const VeltroError& e) {
            EXPECT_EQ(e.number(), err::kPathFileAccess);
            EXPECT_NE(e.description().find(path), std::string::npos);
        }
    }
}

TEST(DesktopEntry, PutsTheProgramInPlaceOfThePlaceholder) {
    EXPECT_EQ(desktop_entry("[Desktop Entry]\nExec=@EXEC@ %f\nIcon=veltro\n", "\"/a b/veltro\""),
              "[Desktop Entry]\nExec=\"/a b/veltro\" %f\nIcon=veltro\n");
    EXPECT_THROW(desktop_entry("[Desktop Entry]\nExec=veltro %f\n", "x"), VeltroError);
}

TEST(UserDataHome, TakesXdgDataHomeOnlyWhenItIsAbsolute) {
    testing::ScopedEnv home("HOME", "/home/judge");
    {
        testing::ScopedEnv xdg("XDG_DATA_HOME", "/srv/share");
        EXPECT_EQ(user_data_home(), "/srv/share");
    }
    for (const char* ignored : {"", "relative/share"}) {
        testing::ScopedEnv xdg("XDG_DATA_HOME", ignored);
        EXPECT_EQ(user_data_home(), "/home/judge/.local/share") << ignored;
    }
}

TEST(InstallDesktopFiles, ReplacesOldFilesAndMakesTheFolders) {
    testing::TempDir dir;
    ASSERT_EQ(write_file_atomically(dir.file("old.txt"), "old"), 0);
    install_desktop_files(dir.path(), {{"old.txt", "new"}, {"a/b/c.xml", "<c/>"}});
    EXPECT_EQ(read_whole_file(dir.file("old.txt")), "new");
    EXPECT_EQ(read_whole_file(dir.file("a/b/c.xml")), "<c/>");
}

} // namespace
} // namespace veltro
