// The updater's own table of the sequencer's calls into the other folders.
// Results the sequencer has no use for are dropped here: each of these
// operations reports its own failures to the user.
#include "app/diagnostic.h"
#include "app/sequencer.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "migrate/relocation.h"
#include "migrate/renames.h"
#include "migrate/shortcuts.h"
#include "migrate/tree.h"
#include "payload/prepare.h"
#include "platform/shell.h"

static void CopySharedFolder(HWND dialog, const char* sharedFolder, const char* installFolder) {
    CopyOrMoveTree(dialog, sharedFolder, installFolder, true);
}

static bool AtDefaultPaths() { return IsAtDefaultPaths(g_state.installFolder, g_state.sharedFolder); }

static void Relocate(HWND dialog) {
    RelocateInstallation(dialog, g_state.installFolder, g_state.finalInstallFolder);
}

static void Rename() { RenameProductItems(g_state.sharedFolder, g_state.finalInstallFolder); }

static void Shortcuts(HWND dialog, const char* finalInstallFolder) {
    MigrateShortcuts(dialog, finalInstallFolder, g_state.startMenuProgramsFolder, g_state.desktopFolder);
}

static void Registry(HWND dialog, const char* finalInstallFolder) {
    MigrateRegistry(dialog, finalInstallFolder);
}

SequencerCalls g_sequencerCalls = {
    CopySharedFolder,
    AtDefaultPaths,
    Relocate,
    Rename,
    Shortcuts,
    Registry,
    RemoveExtractedFiles,
    AppendDiagnosticSuffix,
    platform::UninitializeCom,
    ShowEngineLogInEditor,
};
