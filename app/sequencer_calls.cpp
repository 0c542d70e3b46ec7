// The updater's own table of the sequencer's calls into the other folders.
#include "app/sequencer.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "migrate/relocation.h"
#include "migrate/renames.h"
#include "migrate/shortcuts.h"
#include "migrate/tree.h"

static bool CopySharedFolder(HWND owner, const char* sharedFolder, const char* installFolder) {
    return CopyOrMoveTree(owner, sharedFolder, installFolder, true) == TreeResult::kDone;
}

static bool Relocate(HWND owner) {
    return RelocateInstallation(owner, g_state.installFolder, g_state.finalInstallFolder) ==
           RelocationResult::kMoved;
}

// Each rename that cannot be made leaves both names as they were, which is
// no failure of the update.
static bool Renames(const char* sharedFolder, const char* finalInstallFolder) {
    RenameProductItems(sharedFolder, finalInstallFolder);
    return true;
}

// Each shortcut that cannot be made has had its own box.
static bool Shortcuts(HWND owner, const char* finalInstallFolder) {
    MigrateShortcuts(owner, finalInstallFolder, g_state.startMenuProgramsFolder, g_state.desktopFolder);
    return true;
}

static bool Registry(HWND owner, const char* finalInstallFolder) {
    return MigrateRegistry(owner, finalInstallFolder) == 0;
}

SequencerCalls g_sequencerCalls = {
    CopySharedFolder, IsAtDefaultPaths, Relocate, Renames, Shortcuts, Registry, ShowEngineLogInEditor,
};
