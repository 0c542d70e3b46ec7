#include "platform/crash.h"

namespace platform {

namespace {

void (*g_report)(DWORD) = nullptr;
UINT g_exitCode = 1;
// Enough for a log line and a flush.
const ULONG kReserveBytes = 64 * 1024;

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* info) {
    if (g_report) g_report(info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0);
    ::TerminateProcess(::GetCurrentProcess(), g_exitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void EndOnCrash(void (*report)(DWORD code), UINT exitCode) {
    g_report = report;
    g_exitCode = exitCode;
    ::SetUnhandledExceptionFilter(OnUnhandled);
}

void ReserveCrashStack() {
    ULONG bytes = kReserveBytes;
    ::SetThreadStackGuarantee(&bytes);
}

}  // namespace platform
