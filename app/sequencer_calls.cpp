// The updater's own table of the sequencer's calls into the other folders.
#include "app/progress.h"
#include "app/sequencer.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "migrate/relocation.h"
#include "migrate/renames.h"
#include "migrate/shortcuts.h"
#include "migrate/tree.h"

namespace app {
using namespace common;
using namespace migrate;

static bool CopySharedFolder(HWND owner, const char* sharedFolder, const char* installFolder) {
    return CopyOrMoveTree(owner, sharedFolder, installFolder, true) == TreeResult::kDone;
}

// The old folders' 8.3 forms are taken while they still exist: the registry
// step matches values that name them so.
static bool Relocate(HWND owner) {
    g_state.shortForms = TakeShortForms(g_state.installFolder, g_state.sharedFolder);
    return RelocateInstallation(owner, g_state.installFolder, g_state.finalInstallFolder) == RelocationResult::kMoved;
}

// A rename that cannot be made leaves both names as they were; only the
// program's own counts as a failure of the update.
static bool Renames(const char* sharedFolder, const char* finalInstallFolder) {
    return RenameProductItems(sharedFolder, finalInstallFolder);
}

// Each shortcut that cannot be made has had its own box; the step fails.
static bool Shortcuts(HWND owner, const char* finalInstallFolder) {
    return MigrateShortcuts(owner, finalInstallFolder, g_state.startMenuProgramsFolder, g_state.desktopFolder);
}

static bool Registry(HWND owner, const char* finalInstallFolder) {
    return MigrateRegistry(g_state.installFolder, g_state.sharedFolder, finalInstallFolder, g_state.shortForms,
                           [owner] { StepProgress(owner); });
}

SequencerCalls g_sequencerCalls = {
    CopySharedFolder, IsAtDefaultPaths, Relocate, Renames, Shortcuts, Registry, ShowEngineLogInEditor,
};

}  // namespace app
