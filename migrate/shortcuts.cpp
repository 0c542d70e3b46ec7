// CreateShortcut and MigrateShortcuts.
#include <string>
#include "common/path.h"
#include "migrate/shortcuts.h"
#include "migrate/tree.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_replace.h"
#include "platform/shelllink.h"
#include "platform/utf.h"
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

HRESULT LastResult() { return static_cast<HRESULT>(platform::LastError()); }

// The shell saves a link file only under a path within MAX_PATH units, so
// where WorkPathFor's name would pass that, a shorter work name of ours is
// taken beside the link: it fits whenever the link's own name has at least
// as many units.
const char kShortLinkWork[] = "~dv.~dv";
std::string LinkWorkPath(const std::string& linkPath) {
    std::string work = WorkPathFor(linkPath);
    if (platform::WideLength(work.c_str()) < MAX_PATH) return work;
    return JoinPath(FolderOf(linkPath), kShortLinkWork);
}

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

HRESULT CreateShortcut(const char* target, const char* linkPath, const char* description, Outcome& out) {
    ShellLinkWriter link;
    return CreateShortcutWith(link, target, linkPath, description, out);
}

HRESULT CreateShortcutWith(LinkWriter& link, const char* target, const char* linkPath, const char* description,
                           Outcome& out) {
    if (!link.Create()) return LastResult();
    if (!link.SetPath(target)) out.Add(Problem{linkPath, target, "SetPath failed!", platform::LastError()});
    if (!link.SetDescription(description))
        out.Add(Problem{linkPath, target, "SetDescription failed!", platform::LastError()});
    std::string work = LinkWorkPath(linkPath);
    platform::DeleteFileAt(work.c_str());  // a stale one of ours
    bool saved = link.Save(work.c_str());
    HRESULT hr = saved ? S_OK : LastResult();
    const char* why = "Save failed!";
    // On disk before it takes the link's name: a power cut then leaves the
    // old link or the whole new one, never an empty file.
    if (saved && !platform::FlushFileAt(work.c_str())) {
        hr = HRESULT_FROM_WIN32(platform::LastError());
        saved = false;
        why = "Flush failed!";
    }
    if (saved && !platform::MoveFileReplacing(work.c_str(), linkPath)) {
        hr = HRESULT_FROM_WIN32(platform::LastError());
        saved = false;
    }
    if (saved) return S_OK;
    platform::DeleteFileAt(work.c_str());
    out.Add(Problem{linkPath, target, why, static_cast<DWORD>(hr)});
    return hr;
}

enum class Shortcut { noTarget, made, failed };

// Makes the shortcut of `row` when its target exists.
static Shortcut MakeShortcut(const ShortcutRow& row, const std::string& menu, const std::string& installFolder,
                             Outcome& out) {
    std::string target = JoinPath(installFolder, row.targetName);
    if (!FileExists(target)) return Shortcut::noTarget;
    std::string link = JoinPath(menu, row.linkName);
    Outcome one;
    HRESULT hr = CreateShortcut(target.c_str(), link.c_str(), row.description, one);
    if (FAILED(hr) && one.problems.empty()) one.Add(Problem{link, target, "The link object cannot be made.", 0});
    out.Take(one);
    LogEvent((SUCCEEDED(hr) ? "shortcut made: " : "shortcut failed: ") + link);
    return SUCCEEDED(hr) ? Shortcut::made : Shortcut::failed;
}

// Replaces the old desktop shortcut by a copy of the new main one. The old
// one goes only once the copy is in place, so a failed copy never leaves the
// user without a desktop shortcut.
static void SwapDesktopShortcut(const std::string& menu, const std::string& desktop, Outcome& out) {
    if (desktop.empty()) return;
    std::string oldLink = JoinPath(desktop, kOldDesktopLink);
    if (!FileExists(oldLink)) return;
    const char* name = kShortcuts[0].linkName;
    std::string from = JoinPath(menu, name), to = JoinPath(desktop, name);
    if (CopyFileUnlessSame(from, to) != FileCopyResult::kCopied)
        return out.Add(Problem{from, to, "", platform::LastError()});
    if (!platform::DeleteFileAt(oldLink.c_str())) return out.Add(Problem{oldLink, "", "", platform::LastError()});
    LogEvent("desktop shortcut replaced: " + oldLink);
}

Outcome MigrateShortcuts(const std::string& finalInstallFolder, const std::string& programs, const std::string& desktop,
                         const StopCheck& stop) {
    Outcome out;
    auto stopped = [&] { return out.stopped = out.stopped || StopRequested(stop); };
    if (programs.empty()) {  // never under the drive's root instead
        out.Add(Problem{kNewMenuName, "", "No Start-menu folder is known.", 0});
        return out;
    }
    std::string menu = JoinPath(programs, kNewMenuName), oldMenu = JoinPath(programs, kOldMenuName);
    CreateFolderPath(menu);  // may exist already; a failure shows in the saves
    bool mainMade = false;
    for (const ShortcutRow& row : kShortcuts) {
        if (stopped()) return out;
        Shortcut s = MakeShortcut(row, menu, finalInstallFolder, out);
        if (s != Shortcut::made || &row != &kShortcuts[0]) continue;
        mainMade = true;
        if (stopped()) return out;
        SwapDesktopShortcut(menu, desktop, out);
    }
    if (stopped() || !FileExists(oldMenu)) return out;
    // Without the new main shortcut the old menu is the user's way to the
    // program: it stays.
    if (!mainMade) {
        LogEvent("old Start-menu folder kept, no new main shortcut: " + oldMenu);
        out.Add(Problem{oldMenu, menu, "The old Start-menu folder is kept: the new main shortcut was not made.", 0});
        return out;
    }
    Outcome removed = DeleteTree(oldMenu);
    if (removed.Ok()) LogEvent("old Start-menu folder removed: " + oldMenu);
    out.Take(removed);
    return out;
}

bool ShortcutsShown(const std::string& finalInstallFolder, const std::string& programs, const std::string& desktop) {
    if (programs.empty()) return false;
    std::string menu = JoinPath(programs, kNewMenuName);
    for (const ShortcutRow& row : kShortcuts) {
        std::string target = JoinPath(finalInstallFolder, row.targetName);
        if (!FileExists(target)) continue;
        platform::ShellLink link;
        std::string held;
        if (!link.Create() || !link.Load(JoinPath(menu, row.linkName).c_str()) || !link.GetPath(held) ||
            !PathsEqual(held, target))
            return false;
    }
    if (FileExists(JoinPath(programs, kOldMenuName))) return false;
    return desktop.empty() || !FileExists(JoinPath(desktop, kOldDesktopLink));
}

}  // namespace migrate
