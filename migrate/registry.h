// The registry step of the migration: old keys out, paths rewritten in every
// root key, the new product's keys in.
#pragma once
#include <functional>
#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "migrate/registry_text.h"
#include "migrate/registry_walk.h"

namespace migrate {

// The 8.3 forms of folders (long form, short form), taken while they exist.
using ShortForms = std::vector<std::pair<std::string, std::string>>;
// The old folders' 8.3 forms: taken before relocation moves the folders away,
// so that the registry step still finds values that name them in that form.
ShortForms TakeShortForms(const char* installFolder, const char* sharedFolder);

// The rewrites of one migration (folders in UTF-8): the install folder and
// the shared folder become the final install folder in every spelling of
// AddFolderMove, "Kestrin.exe" becomes "Dovetra.exe", and text that already
// names the final folder or "Dovetra.exe" is left alone. When the
// installation was not moved the install folder maps to itself and no value
// changes for it. 8.3 forms come from the file system, or for a folder that
// is gone from `kept`; `variables` null takes the folder variables of this
// process's environment (ProgramFiles, APPDATA, ...).
RewriteTable MigrationRewrites(const char* installFolder, const char* sharedFolder, const char* finalInstallFolder,
                               const ShortForms& kept = {}, const std::vector<FolderVariable>* variables = nullptr);

// Called as the registry walk goes on, to move a progress bar; may be empty.
using ProgressStep = std::function<void()>;

// One walk over HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and
// HKEY_USERS in that order, each value rewritten at most once per visit and
// the same way on every visit (a key reached through two roots is seen
// twice). Below HKEY_USERS the current user's own hive and classes, walked
// as HKEY_CURRENT_USER already, are left out; every other user's hive is
// walked. Calls `step` three times: after the first two roots, after the
// third, after the fourth. Notes in the event log, per root, how many values
// were rewritten and how many could not be.
void RewriteRegistry(const RewriteTable& table, const ProgressStep& step, RegistryWalkStats& stats);

// Deletes the five old keys below HKEY_CURRENT_USER ("files" before its
// parent); a missing key is no error.
void DeleteOldKeys();

// Writes the three new keys below HKEY_CURRENT_USER. Values are REG_SZ in
// UTF-16 with their terminating NUL (a reader of unterminated text reads past
// it): "Offscreen" holds the one character "0", 4 bytes. A key that cannot be
// created loses only its own values. False when any value was not written.
bool WriteNewKeys(const char* finalInstallFolder);

// The whole step: DeleteOldKeys, RewriteRegistry (the old install and shared
// folders to `finalInstallFolder`), WriteNewKeys. Shows nothing. False when a
// value that needed a change, or a new value, could not be written.
bool MigrateRegistry(const char* installFolder, const char* sharedFolder, const char* finalInstallFolder,
                     const ShortForms& kept, const ProgressStep& step);

}  // namespace migrate
