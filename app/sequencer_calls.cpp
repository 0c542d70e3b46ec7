// The updater's own table of the sequencer's calls into the other folders.
// Results the sequencer has no use for are dropped here: each of these
// operations reports its own failures to the user.
#include "app/diagnostic.h"
#include "app/sequencer.h"
#include "app/state.h"
#include "migrate/registry.h"
#include "migrate/relocation.h"
#include "migrate/renames.h"
#include "migrate/shortcuts.h"
#include "migrate/tree.h"
#include "payload/prepare.h"
#include "platform/shell.h"

static void CopySharedFolder(const char* sharedFolder, const char* installFolder) {
    CopyOrMoveTree(sharedFolder, installFolder, true);
}

// The old folders' 8.3 forms are taken while they still exist: the registry
// step matches values that name them so.
static void Relocate() {
    RememberShortForms(g_state.installFolder, g_state.sharedFolder);
    RelocateInstallation();
}

static void Shortcuts(HWND dialog, const char* finalInstallFolder) {
    MigrateShortcuts(finalInstallFolder, dialog);
}

static void Registry(HWND dialog, const char* finalInstallFolder) {
    MigrateRegistry(dialog, finalInstallFolder);
}

SequencerCalls g_sequencerCalls = {
    CopySharedFolder,
    IsAtDefaultPaths,
    Relocate,
    RenameProductItems,
    Shortcuts,
    Registry,
    RemoveExtractedFiles,
    AppendDiagnosticSuffix,
    platform::UninitializeCom,
    ShowEngineLogInEditor,
};
