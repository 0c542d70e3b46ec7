// CreateShortcut and MigrateShortcuts.
#include <cstring>
#include <string>
#include "common/path.h"
#include "common/state.h"
#include "migrate/shortcuts.h"
#include "migrate/tree.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/shelllink.h"
#include "common/event_log.h"

namespace migrate {
using namespace common;

namespace {

struct ShortcutRow {
    const char* linkName;    // in the new Start-menu folder
    const char* targetName;  // in the final install folder
    const char* description;
};

// The first row is the main shortcut, the one copied to the desktop.
const ShortcutRow kShortcuts[] = {
    {"Dovetra 5.lnk", "Dovetra.exe", "Dovetra 5."},
    {"Kestrin 4 to 3 Converter.lnk", "Kestrin 4 to 3 Converter.exe", "Kestrin 3.0 File Conversion Tool."},
    {"FileConverter.lnk", "Kestrin 4 to 3 Converter.ksd", "File Converter ReadMe."},
    {"ReadMe.lnk", "ReadMe.ksd", "Dovetra 5 ReadMe."},
};

const char kNewMenuName[] = "Dovetra 5";
const char kOldMenuName[] = "Kestrin 5.0";
const char kOldDesktopLink[] = "Kestrin 5.0.lnk";

// The executable's file name without its extension: the title of the boxes.
std::string ApplicationName() {
    char path[MAX_PATH + 1];
    if (!platform::ModulePath(path, sizeof path)) return std::string();
    std::string name = path + FileNameStart(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void ShowShortcutFailure(HWND owner, const char* text) {
    platform::ShowMessage(owner, text, ApplicationName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

HRESULT LastResult() { return static_cast<HRESULT>(platform::LastError()); }

}  // namespace

// The shell's link object; its interfaces are released with it.
class ShellLinkWriter : public LinkWriter {
public:
    bool Create() override { return link_.Create(); }
    bool SetPath(const char* target) override { return link_.SetPath(target); }
    bool SetDescription(const char* description) override { return link_.SetDescription(description); }
    bool Save(const char* linkPath) override { return link_.Save(linkPath); }

private:
    platform::ShellLink link_;
};

HRESULT CreateShortcut(const char* target, const char* linkPath, const char* description, HWND owner) {
    ShellLinkWriter link;
    return CreateShortcutWith(link, target, linkPath, description, owner);
}

HRESULT CreateShortcutWith(LinkWriter& link, const char* target, const char* linkPath, const char* description,
                           HWND owner) {
    if (!link.Create()) return LastResult();
    if (!link.SetPath(target)) ShowShortcutFailure(owner, "SetPath failed!");
    if (!link.SetDescription(description)) ShowShortcutFailure(owner, "SetDescription failed!");
    if (link.Save(linkPath)) return S_OK;
    HRESULT hr = LastResult();
    ShowShortcutFailure(owner, "Save failed!");
    return hr;
}

enum class Shortcut { noTarget, made, failed };

// Makes the shortcut of `row` when its target exists. Paths that would not
// fit 255 characters are passed over as if the target were missing.
static Shortcut MakeShortcut(const ShortcutRow& row, const char* menu, const char* installFolder, HWND owner) {
    char link[kPathCap], target[kPathCap];
    if (!JoinPath(target, sizeof target, installFolder, row.targetName) || !FileExists(target))
        return Shortcut::noTarget;
    if (!JoinPath(link, sizeof link, menu, row.linkName)) return Shortcut::noTarget;
    HRESULT hr = CreateShortcut(target, link, row.description, owner);
    LogEvent(std::string(SUCCEEDED(hr) ? "shortcut made: " : "shortcut failed: ") + link);
    return SUCCEEDED(hr) ? Shortcut::made : Shortcut::failed;
}

// Replaces the old desktop shortcut by a copy of the new main one. The old
// one goes only once the copy is in place, so a failed copy never leaves the
// user without a desktop shortcut. False when the copy or the deletion failed.
static bool SwapDesktopShortcut(const char* menu, const char* desktop) {
    char oldLink[kPathCap];
    if (desktop[0] == 0 || !JoinPath(oldLink, sizeof oldLink, desktop, kOldDesktopLink)) return true;
    if (!FileExists(oldLink)) return true;
    const char* name = kShortcuts[0].linkName;
    if (CopyFileUnlessSame(menu, name, desktop, name) != FileCopyResult::kCopied) return false;
    if (!platform::DeleteFileAt(oldLink)) return false;
    LogEvent(std::string("desktop shortcut replaced: ") + oldLink);
    return true;
}

bool MigrateShortcuts(HWND owner, const char* finalInstallFolder, const char* programs, const char* desktop) {
    char menu[kPathCap], oldMenu[kPathCap];
    if (programs[0] == 0) return false;  // never under the drive's root instead
    bool all = JoinPath(menu, sizeof menu, programs, kNewMenuName), mainMade = false;
    if (all) {
        CreateFolderPath(menu);  // may exist already
        for (const ShortcutRow& row : kShortcuts) {
            Shortcut s = MakeShortcut(row, menu, finalInstallFolder, owner);
            if (s == Shortcut::failed) all = false;
            if (s != Shortcut::made || &row != &kShortcuts[0]) continue;
            mainMade = true;
            all &= SwapDesktopShortcut(menu, desktop);
        }
    }
    if (!JoinPath(oldMenu, sizeof oldMenu, programs, kOldMenuName) || !FileExists(oldMenu)) return all;
    // Without the new main shortcut the old menu is the user's way to the
    // program: it stays.
    if (!mainMade) {
        LogEvent(std::string("old Start-menu folder kept, no new main shortcut: ") + oldMenu);
        return false;
    }
    if (DeleteTree(owner, oldMenu) != TreeResult::kDone) return false;
    LogEvent(std::string("old Start-menu folder removed: ") + oldMenu);
    return all;
}

}  // namespace migrate
