// The updater's own table of the sequencer's calls into the other folders.
#include "app/sequencer.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "migrate/relocation.h"
#include "migrate/renames.h"
#include "migrate/shortcuts.h"
#include "migrate/tree.h"

static bool CopySharedFolder(HWND owner, const char* sharedFolder, const char* installFolder) {
    return CopyOrMoveTree(sharedFolder, installFolder, true) == 0;
}

static bool AtDefaultPaths(const char*, const char*) { return IsAtDefaultPaths(); }

static bool Relocate(HWND owner) { return RelocateInstallation(); }

static bool Renames(const char*, const char*) {
    RenameProductItems();
    return true;
}

static bool Shortcuts(HWND owner, const char* finalInstallFolder) {
    MigrateShortcuts(finalInstallFolder, owner);
    return true;
}

static bool Registry(HWND owner, const char* finalInstallFolder) {
    return MigrateRegistry(owner, finalInstallFolder) == 0;
}

SequencerCalls g_sequencerCalls = {
    CopySharedFolder, AtDefaultPaths, Relocate, Renames, Shortcuts, Registry, ShowEngineLogInEditor,
};
