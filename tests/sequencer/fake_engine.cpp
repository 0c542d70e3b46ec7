// A stand-in for the patch engine, driven by files beside it.
//
// Started as  "<dir>\patch.exe" -e -i -v -noc <patch file>  it:
//  1. appends one line "<command line>|<current folder>|show=<n>" to
//     <dir>\calls.txt, so a test can see how it was started;
//  2. reads <dir>\<patch file>.fake: the first line is "go" or "hold",
//     optionally followed by " readonly" and " exit=N"; the rest is the log
//     to write ("-" alone: no log);
//  3. with "hold", waits (at most 60 s) until <dir>\<patch file>.release exists;
//  4. writes the log as "patch.err" in its current folder (read-only with
//     "readonly") and exits with code N (0 when not given).
#include <windows.h>
#include <cstdlib>
#include <string>
#include "scratch.h"

static void Write(const std::string& path, const std::string& text, DWORD disposition) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    if (disposition == OPEN_ALWAYS) SetFilePointer(h, 0, nullptr, FILE_END);
    DWORD done = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    CloseHandle(h);
}

int main() {
    std::string dir = ProgramFolder(), cwd = CurrentDir();
    std::string line = GetCommandLineA();
    std::string patchFile = line.substr(line.rfind(' ') + 1);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    Write(dir + "\\calls.txt", line + "|" + cwd + "|show=" + std::to_string(si.wShowWindow) + "\n", OPEN_ALWAYS);

    std::string control = ReadText(dir + "\\" + patchFile + ".fake");
    size_t eol = control.find('\n');
    std::string mode = control.substr(0, eol);
    std::string log = eol == std::string::npos ? "" : control.substr(eol + 1);
    if (mode.rfind("hold", 0) == 0) {
        std::string release = dir + "\\" + patchFile + ".release";
        for (int i = 0; i < 600 && !Exists(release); ++i) Sleep(100);
    }
    if (log != "-") {  // a missing control file gives an empty log
        Write("patch.err", log, CREATE_ALWAYS);
        if (mode.find("readonly") != std::string::npos) SetFileAttributesA("patch.err", FILE_ATTRIBUTE_READONLY);
    }
    size_t exit = mode.find("exit=");
    return exit == std::string::npos ? 0 : std::atoi(mode.c_str() + exit + 5);
}
