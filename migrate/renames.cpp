// RenameProductItems: one table, carried out row by row.
#include "common/state.h"
#include "migrate/renames.h"
#include "platform/dir.h"
#include "platform/file.h"

namespace {

enum class RowAction { kEnterShared, kEnterFinal, kRename, kDelete };

struct RenameRow {
    RowAction action;
    const char* oldName;  // bare names, relative to the current directory
    const char* newName;
};

// The preference files take their new names in the shared folder; the copies
// that the tree copy of the update put into the install folder are deleted
// there. "Kestrin Labels" is renamed in both folders.
const RenameRow kRows[] = {
    {RowAction::kEnterShared, nullptr, nullptr},
    {RowAction::kRename, "Kestrin 5 Assistants Cache.prf", "Dovetra 5 Assistants Cache.prf"},
    {RowAction::kRename, "Kestrin 5 ButtonBars.prf", "Dovetra 5 ButtonBars.prf"},
    {RowAction::kRename, "Kestrin 5 Stationery.prf", "Dovetra 5 Stationery.prf"},
    {RowAction::kRename, "Kestrin 5 Macros.prf", "Dovetra 5 Macros.prf"},
    {RowAction::kRename, "Kestrin 5 Preferences.prf", "Dovetra 5 Preferences.prf"},
    {RowAction::kRename, "Kestrin 5 Assistant Prefs.prf", "Dovetra 5 Assistant Prefs.prf"},
    {RowAction::kRename, "Kestrin 5 Assistant.prf", "Dovetra 5 Assistant.prf"},
    {RowAction::kRename, "Kestrin 5 Palettes.prf", "Dovetra 5 Palettes.prf"},
    {RowAction::kRename, "Kestrin Labels", "Dovetra Labels"},
    {RowAction::kEnterFinal, nullptr, nullptr},
    {RowAction::kRename, "Kestrin.exe", "Dovetra.exe"},
    {RowAction::kDelete, "Kestrin 5 Assistants Cache.prf", nullptr},
    {RowAction::kDelete, "Kestrin 5 ButtonBars.prf", nullptr},
    {RowAction::kDelete, "Kestrin 5 Stationery.prf", nullptr},
    {RowAction::kDelete, "Kestrin 5 Macros.prf", nullptr},
    {RowAction::kDelete, "Kestrin 5 Preferences.prf", nullptr},
    {RowAction::kDelete, "Kestrin 5 Assistant Prefs.prf", nullptr},
    {RowAction::kDelete, "Kestrin 5 Assistant.prf", nullptr},
    {RowAction::kDelete, "Kestrin 5 Palettes.prf", nullptr},
    {RowAction::kRename, "Kestrin Labels", "Dovetra Labels"},
    {RowAction::kRename, "Kestrin Assistants", "Dovetra Assistants"},
    {RowAction::kRename, "Kestrin Libraries", "Dovetra Libraries"},
    {RowAction::kRename, "Kestrin Stationery", "Dovetra Stationery"},
    {RowAction::kRename, "Kestrin Styles", "Dovetra Styles"},
    {RowAction::kRename, "Kestrin Translators", "Dovetra Translators"},
};

// Every result is ignored: a missing old item or an existing new one leaves
// both as they are, and a folder that cannot be entered leaves the rows that
// follow acting in the folder current before.
void CarryOut(const RenameRow& row) {
    switch (row.action) {
    case RowAction::kEnterShared: platform::SetCurrentFolder(g_state.sharedFolder); break;
    case RowAction::kEnterFinal: platform::SetCurrentFolder(g_state.finalInstallFolder); break;
    case RowAction::kRename: platform::MoveItem(row.oldName, row.newName); break;
    case RowAction::kDelete: platform::DeleteFileAt(row.oldName); break;
    }
}

}  // namespace

void RenameProductItems() {
    for (const RenameRow& row : kRows) CarryOut(row);
}
