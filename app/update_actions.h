// What the sequencer asks of the folders below, by name, so that a test can
// put its own in (SetActions) instead of checking or migrating the machine
// it runs on. The migration calls run on a worker thread while the dialog
// goes on answering: they get everything as arguments, touch no g_state and
// show nothing; what went wrong comes back as problems.
#pragma once
#include <string>
#include "app/preflight.h"
#include "common/update_record.h"
#include "migrate/outcome.h"

namespace app {

class UpdateActions {
public:
    virtual ~UpdateActions() = default;
    // Read only, on any thread: the preflight, which also proves on the
    // machine which phases are done (Preflight::shown, proof.h).
    virtual Preflight Check(const PreflightInput& in) = 0;
    // Read only, on the worker thread, before the registry part: a problem
    // unless the final folder holds the Dovetra 5.0.3 program (proof.h).
    virtual migrate::Outcome ProveFinalProgram(const std::string& finalInstallFolder,
                                               const std::string& payloadFolder) = 0;
    // Whether the installation moves to the new default folder.
    virtual bool IsAtDefaultPaths(const std::string& installFolder, const std::string& sharedFolder) = 0;
    // On the worker thread; each may be stopped between items (`stop`) and
    // finishes what an earlier call cut off when called again.
    virtual migrate::Outcome CopySharedFolder(const std::string& sharedFolder, const std::string& installFolder,
                                              const migrate::StopCheck& stop) = 0;
    virtual migrate::Outcome RelocateInstallation(const std::string& installFolder, const std::string& newFolder,
                                                  const migrate::StopCheck& stop) = 0;
    virtual migrate::Outcome RenameProductItems(const std::string& sharedFolder, const std::string& finalInstallFolder,
                                                unsigned preferenceCopies, const migrate::StopCheck& stop) = 0;
    virtual migrate::Outcome MigrateShortcuts(const std::string& finalInstallFolder, const std::string& programsFolder,
                                              const std::string& desktopFolder, const migrate::StopCheck& stop) = 0;
    virtual migrate::Outcome MigrateRegistry(const common::UpdateRecord& record, const migrate::StopCheck& stop) = 0;
    // The mark of a completed update that fleet tools detect; false when it
    // cannot be written (no rights). A test's actions need not write it.
    virtual bool MarkCompleted(const std::string&) { return true; }
    // Deletes "UnInst.isu", "UnInsdll.dll" and "KSReg.dat" from the folder.
    virtual migrate::Outcome DeleteLeftovers(const std::string& finalInstallFolder) = 0;
    // On the dialog's thread: "patch.err" of the folder in the text editor.
    virtual void ShowEngineLog(const std::string& installFolder) = 0;
};

// The actions in use: the updater's own unless a test set others.
UpdateActions& Actions();
// Puts `actions` in place (the caller keeps it alive); null: the updater's own.
void SetActions(UpdateActions* actions);

}  // namespace app
