// The start-up pieces the GUI scripts cannot reach one by one: every form of
// the command line, and a shell folder that does not fit. The rest of
// start-up is checked through the real updater by the scripts beside this file.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <cstring>
#include <string>
#include "app/options.h"
#include "common/state.h"
#include "platform/shell.h"

using namespace app;
using namespace common;

// "-d" keeps its rule (the text after the last space); switches before it.
TEST(CommandLine, OptionsTable) {
    struct Case {
        const char* line;
        bool diagnostic, quiet, check;
        const char* folder;
        const char* log;
        const char* bad;
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
    };
    for (const Case& c : cases) {
        Options o = ParseOptions(c.line);
        SCOPED_TRACE(std::string("[") + c.line + "]");
        EXPECT_EQ(c.diagnostic, o.diagnostic);
        EXPECT_EQ(c.quiet, o.quiet);
        EXPECT_EQ(c.check, o.check);
        EXPECT_EQ(c.folder, o.folder);
        EXPECT_EQ(c.log, o.logPath);
        EXPECT_EQ(c.bad, o.badSwitch);
    }
}

TEST(Shell, SpecialFolderFitsExactlyOrFailsWithoutWritingPastTheBuffer) {
    char path[kPathCap];
    ASSERT_TRUE(platform::SpecialFolderPath(nullptr, CSIDL_COMMON_PROGRAMS, path, sizeof path));
    size_t n = std::strlen(path);
    ASSERT_EQ("Programs", std::string(path).substr(n - 8));
    std::string buf(n + 2, 'x');
    EXPECT_FALSE(platform::SpecialFolderPath(nullptr, CSIDL_COMMON_PROGRAMS, &buf[0], n));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_OVERFLOW), ::GetLastError());
    EXPECT_EQ(buf, '\0' + std::string(n + 1, 'x'));
    EXPECT_TRUE(platform::SpecialFolderPath(nullptr, CSIDL_COMMON_PROGRAMS, &buf[0], n + 1));
    EXPECT_EQ(buf, std::string(path, n + 1) + 'x');
}
