// The start-up pieces the GUI scripts cannot reach one by one: every form of
// the command line, and a shell folder that is none in the file system. The
// rest of start-up is checked through the real updater by the scripts beside
// this file.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include "app/options.h"
#include "platform/shell.h"

using namespace app;

// "-d" keeps its rule (the text after the last space); switches before it.
// A launcher may start the program by its unquoted path with spaces in it
// (`program`, the running executable's path).
TEST(CommandLine, OptionsTable) {
    const char* kProgram = "C:\\Program Files\\Deploy Tools\\DV503Updater.exe";
    struct Case {
        const char* line;
        bool diagnostic, quiet, check;
        const char* folder;
        const char* log;
        const char* bad;
        const char* program = "";
    } cases[] = {
        {"updater.exe -d", true, false, false, "", "", ""},
        {"\"C:\\x y\\updater.exe\" -d", true, false, false, "", "", ""},
        {"updater.exe  -d", true, false, false, "", "", ""},
        {"updater.exe -D", false, false, false, "", "", "-D"},
        {"updater.exe -d ", false, false, false, "", "", "-d"},
        {"updater.exe \"-d\"", false, false, false, "", "", "-d"},
        {"updater.exe\t-d", false, false, false, "", "", "-d"},
        {"updater.exe-d", false, false, false, "", "", ""},
        {"", false, false, false, "", "", ""},
        {"updater.exe /QUIET /dir \"C:\\Program Files\\K 5\" /log c:\\u.log -d", true, true, false,
         "C:\\Program Files\\K 5", "c:\\u.log", ""},
        {"updater.exe /check /quiet", false, true, true, "", "", ""},
        {"updater.exe /dir", false, false, false, "", "", "/dir"},
        {"updater.exe /log -d", true, false, false, "", "", "/log"},
        {"updater.exe /quiet /silent", false, true, false, "", "", "/silent"},
        {"C:\\Program Files\\Deploy Tools\\DV503Updater.exe /quiet", false, true, false, "", "", "", kProgram},
        {"c:\\program files\\deploy tools\\dv503updater.exe", false, false, false, "", "", "", kProgram},
        {"C:\\Program Files\\Deploy Tools\\DV503Updater.exe -d", true, false, false, "", "", "", kProgram},
        {"C:\\Program Files\\Deploy Tools\\DV503Updater.exe2 /quiet", false, false, false, "", "", "Files\\Deploy",
         kProgram},  // another program's path
        {"C:\\Program Files\\Deploy Tools\\DV503Updater.exe /quiet", false, false, false, "", "", "Files\\Deploy"},
        {"\"C:\\Program Files\\Deploy Tools\\DV503Updater.exe\" /check", false, false, true, "", "", "", kProgram},
        {"updater.exe /MSICodes /quiet", false, true, false, "", "", ""},
    };
    for (const Case& c : cases) {
        Options o = ParseOptions(c.line, c.program);
        SCOPED_TRACE(std::string("[") + c.line + "]");
        EXPECT_EQ(c.diagnostic, o.diagnostic);
        EXPECT_EQ(c.quiet, o.quiet);
        EXPECT_EQ(c.check, o.check);
        EXPECT_EQ(c.folder, o.folder);
        EXPECT_EQ(c.log, o.logPath);
        EXPECT_EQ(c.bad, o.badSwitch);
    }
}

// /msicodes anywhere, a bad switch before it included; each ending's code
// with and without it.
TEST(CommandLine, MsiCodesTable) {
    EXPECT_TRUE(ParseOptions("updater.exe /msicodes").msiCodes);
    EXPECT_TRUE(ParseOptions("updater.exe /silent /MSICODES").msiCodes);
    EXPECT_FALSE(ParseOptions("updater.exe /quiet").msiCodes);
    const int msi[] = {0, 1603, 1603, 1603, 1618, 1618, 1602, 1639, 1618, 1618, 1603, 1603, 1618};
    for (int own = 0; own <= 12; ++own) {
        SCOPED_TRACE(own);
        EXPECT_EQ(own, ExitCode(static_cast<common::Ending>(own), false));
        EXPECT_EQ(msi[own], ExitCode(static_cast<common::Ending>(own), true));
    }
}

TEST(Shell, SpecialFolderIsAFileSystemPathOrNone) {
    std::string path;
    ASSERT_TRUE(platform::SpecialFolderPath(nullptr, CSIDL_COMMON_PROGRAMS, path));
    ASSERT_GT(path.size(), 8u);
    EXPECT_EQ("Programs", path.substr(path.size() - 8));
    // "My Computer" is a folder of the shell, not of the file system.
    EXPECT_FALSE(platform::SpecialFolderPath(nullptr, CSIDL_DRIVES, path));
    EXPECT_EQ(path, "");
}
