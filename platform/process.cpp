#include "platform/process.h"
#include <cstring>
#include <string>
#include "platform/utf.h"

namespace platform {

bool StartProcess(const char* program, const char* commandLine, const char* workingFolder, bool shown,
                  Handle& process) {
    process.Reset();
    // CreateProcessW may write into the command line: it gets its own copy.
    std::wstring wprogram, line, folder;
    if (!ToWide(program, wprogram) || !ToWide(commandLine, line) || !ToWide(workingFolder, folder)) return false;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = shown ? SW_SHOWNORMAL : SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(program ? wprogram.c_str() : nullptr, &line[0], nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, workingFolder ? folder.c_str() : nullptr, &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    process.Reset(pi.hProcess);
    return true;
}

bool ProcessExitCode(HANDLE process, DWORD* code) { return ::GetExitCodeProcess(process, code) != 0; }

bool EndProcess(HANDLE process, UINT exitCode) { return ::TerminateProcess(process, exitCode) != 0; }

bool WaitProcessEnd(HANDLE process, DWORD ms) {
    DWORD r = ::WaitForSingleObject(process, ms);
    if (r == WAIT_OBJECT_0) return true;
    if (r == WAIT_TIMEOUT) ::SetLastError(ERROR_TIMEOUT);
    return false;
}

bool WaitProcessEndPumping(HANDLE process, DWORD ms) {
    DWORD start = ::GetTickCount();
    for (;;) {
        DWORD spent = ::GetTickCount() - start;
        if (spent >= ms) {
            ::SetLastError(ERROR_TIMEOUT);
            return false;
        }
        DWORD r = ::MsgWaitForMultipleObjects(1, &process, FALSE, ms - spent, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void Pause(DWORD ms) { ::Sleep(ms); }

void ShowNoSystemBoxes() { ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX); }

}  // namespace platform
