// The updater's own actions: the real preflight and migration.
#include "app/update_actions.h"
#include "app/fault.h"
#include "app/proof.h"
#include "common/event_log.h"
#include "common/path.h"
#include "migrate/registry.h"
#include "migrate/relocation.h"
#include "migrate/renames.h"
#include "migrate/shortcuts.h"
#include "migrate/tree.h"
#include "payload/engine.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "platform/user_hive.h"

namespace app {
using namespace common;

namespace {

// COM for the worker thread's shortcut calls, released with it.
class ComForThread {
public:
    ComForThread() : started_(platform::InitializeCom()) {}
    ~ComForThread() {
        if (started_) platform::UninitializeCom();
    }

private:
    bool started_;
};

class RealActions : public UpdateActions {
public:
    Preflight Check(const PreflightInput& in) override {
        ComForThread com;  // the shortcuts are proven through the shell's link object
        return RunPreflight(in);
    }

    migrate::Outcome ProveFinalProgram(const std::string& finalInstallFolder,
                                       const std::string& payloadFolder) override {
        return app::ProveFinalProgram(finalInstallFolder, payloadFolder);
    }

    bool IsAtDefaultPaths(const std::string& installFolder, const std::string& sharedFolder) override {
        return migrate::IsAtDefaultPaths(installFolder, sharedFolder);
    }

    migrate::Outcome CopySharedFolder(const std::string& sharedFolder, const std::string& installFolder,
                                      const migrate::StopCheck& stop) override {
        return migrate::CopyOrMoveTree(sharedFolder, installFolder, true, stop);
    }

    migrate::Outcome RelocateInstallation(const std::string& installFolder, const std::string& newFolder,
                                          const migrate::StopCheck& stop) override {
        return migrate::RelocateInstallation(installFolder, newFolder, stop);
    }

    migrate::Outcome RenameProductItems(const std::string& sharedFolder, const std::string& finalInstallFolder,
                                        unsigned preferenceCopies, const migrate::StopCheck& stop) override {
        return migrate::RenameProductItems(sharedFolder, finalInstallFolder, preferenceCopies, stop);
    }

    migrate::Outcome MigrateShortcuts(const std::string& finalInstallFolder, const std::string& programsFolder,
                                      const std::string& desktopFolder, const migrate::StopCheck& stop) override {
        ComForThread com;
        return migrate::MigrateShortcuts(finalInstallFolder, programsFolder, desktopFolder, stop);
    }

    migrate::Outcome MigrateRegistry(const UpdateRecord& r, const migrate::StopCheck& stop) override {
        // Every user of the machine who used the suite, whoever runs this.
        return migrate::RegistryOutcome(migrate::MigrateRegistry(
            r.installFolder.c_str(), r.sharedFolder.c_str(), r.finalInstallFolder.c_str(), r.shortForms,
            [] { AtBoundary("registry-root"); }, stop, platform::ListUserProfiles()));
    }

    bool MarkCompleted(const std::string& finalInstallFolder) override {
        return migrate::WriteCompletionMark(finalInstallFolder.c_str());
    }

    migrate::Outcome DeleteLeftovers(const std::string& finalInstallFolder) override {
        migrate::Outcome out;
        for (const char* name : kLeftovers) {
            std::string path = JoinPath(finalInstallFolder, name);
            if (platform::DeleteFileAt(path.c_str())) continue;
            DWORD error = platform::LastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
                out.Add(migrate::Problem{path, "", "", error});
        }
        return out;
    }

    void ShowEngineLog(const std::string& installFolder) override {
        std::string windows;
        if (!platform::WindowsFolder(windows)) return;
        std::string editor = JoinPath(windows, "notepad.exe");
        std::string line = "\"" + editor + "\" " + payload::kEngineLogName;
        platform::Handle editorProcess;  // not waited for: closed at once
        platform::StartProcess(editor.c_str(), line.c_str(), installFolder.c_str(), true, editorProcess);
    }
};

RealActions g_real;
UpdateActions* g_actions = nullptr;

}  // namespace

UpdateActions& Actions() { return g_actions ? *g_actions : g_real; }

void SetActions(UpdateActions* actions) { g_actions = actions; }

}  // namespace app
