// The process-wide record and the patch-step table.
#pragma once
#include <windows.h>
#include <string>

// Every path field holds at most 255 characters and its NUL; a folder never
// ends in a backslash. Operations that would not fit refuse instead of
// cutting a path short.
constexpr size_t kPathCap = 256;

struct UpdaterState {
    char tempFolder[kPathCap];
    std::string message;
    char installFolder[kPathCap];
    char finalInstallFolder[kPathCap];
    char sharedFolder[kPathCap];
    char engineProgramPath[kPathCap];
    char engineLibraryPath[kPathCap];
    char startMenuProgramsFolder[kPathCap];
    char desktopFolder[kPathCap];
    DWORD childProcessId;
    HWND progressControl;
    bool diagnostic;
    bool running;
    int stepIndex;
};

// The one instance, zero apart from `message` at start.
extern UpdaterState g_state;

// Resets g_state to its start values (tests run many start-ups in one process).
void ResetUpdaterState();

struct PatchStep {
    char fileName[64];
    char payloadTag[8];
    // Points at the field itself, not a copy: steps run in whatever folder
    // installFolder holds when they start. Null marks the end row.
    const char* workingFolder;
};

// Rows in the order the steps run, closed by an end row.
extern const PatchStep g_patchSteps[4];
