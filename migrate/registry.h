// The registry step of the migration, in this order: the new product's keys
// in, paths rewritten in every root key, the old keys out.
#pragma once
#include <functional>
#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "migrate/registry_text.h"
#include "migrate/registry_walk.h"
#include "platform/user_hive.h"

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
// It runs on the thread that runs the step: from a worker thread it must
// post to the window, not touch it.
using ProgressStep = std::function<void()>;

// What the registry step did and could not do. Nothing here is shown: the
// caller decides what to tell and where.
struct RegistryResult {
    RegistryWalkResult walk;  // the rewrite of the four roots
    // New values that were not written (key, value, error); dry run: new
    // values whose key this process cannot create or open for writing.
    RegistryList newValuesNotWritten;
    // Old keys that exist and were not deleted (key, error); dry run: old
    // keys that exist and could not be deleted (DeleteOldKeys).
    RegistryList oldKeysNotDeleted;
    // The old keys were left in place because a new value is missing: until
    // the new keys are whole, the old ones still lead to the installation.
    bool oldKeysKept = false;
    // Roots written that could not be flushed to disk (RegFlushKey): what
    // was written there may be lost in a power cut.
    RegistryList notFlushed;
    // Profiles whose hive could not be loaded (key: "profile <SID> (<file>)"):
    // their part is left to the next run.
    RegistryList profilesNotLoaded;
    bool stopped = false;  // the stop check said stop; a second run finishes the step

    // Everything done (dry run: everything could be done).
    bool Complete() const {
        return !stopped && !oldKeysKept && walk.notWritten.count == 0 && newValuesNotWritten.count == 0 &&
               oldKeysNotDeleted.count == 0 && notFlushed.count == 0 && profilesNotLoaded.count == 0;
    }
};

// One walk over HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and
// HKEY_USERS in that order, each value rewritten at most once per visit and
// the same way on every visit (a key reached through two roots is seen
// twice). Below HKEY_USERS the current user's own hive, walked as
// HKEY_CURRENT_USER already, is left out; every other hive is walked, the
// user's classes among them (HKEY_CURRENT_USER's "Software\Classes" is a
// link to them on Windows). A key reachable only through a link is not
// visited: under Wine's WoW64 the 64-bit keys that the 32-bit view shares
// by links ("App Paths", "Policies", ...) are such keys. Calls `step` three times: after the first two roots, after the
// third, after the fourth (not after a stop). `stop` is consulted before each
// root and before each key (RewriteRegistryTree). Notes in the event log, per
// root, what it changed and what it could not.
RegistryWalkResult RewriteRegistry(const RewriteTable& table, RegistryMode mode, const ProgressStep& step,
                                   const StopCheck& stop, const KeyEntered& entered = {});

// The per-user part works on a user's root key, `root`, named `label` in
// results ("HKEY_CURRENT_USER", "HKEY_USERS\<SID>"): HKEY_CURRENT_USER is
// one caller, other users' hives are others.

// Deletes the five old keys below `root` ("files" before its
// parent); a missing key is no error, a link key is deleted itself (never
// what it points to), a key that holds other subkeys is kept with them.
// Returns the keys that exist and were not deleted, each with its error. Dry
// run: the keys that exist and either cannot be opened for deletion or hold
// subkeys other than old keys (refused as ERROR_ACCESS_DENIED, as the
// deletion itself is).
RegistryList DeleteOldKeys(HKEY root, const std::string& label, RegistryMode mode);

// Writes the three new keys below `root`. Values are REG_SZ in
// UTF-16 with their terminating NUL (a reader of unterminated text reads past
// it): "Offscreen" holds the one character "0", 4 bytes. A value already
// holding exactly its new type and data counts as written and is not written
// again (a second run needs no rights for it). A key that cannot be created
// loses only its own values. Returns the values not written. Dry run: the
// values that would be written whose key cannot be opened for writing or,
// when missing, created below its nearest existing parent.
RegistryList WriteNewKeys(HKEY root, const std::string& label, const char* finalInstallFolder, RegistryMode mode);

// The whole step (folders in UTF-8), in an order that a run stopped or
// killed anywhere and run again ends with the registry of one uninterrupted
// run. The users' roots: every profile of `profiles` (the machine's, from
// platform::ListUserProfiles; none: this account's only) but the running
// account's that holds any of the suite's keys, and HKEY_CURRENT_USER when
// it holds them or no other profile does. First each profile whose hive is
// not loaded, a part of its own with a line in the log: its hive loaded,
// WriteNewKeys, `step` (the hive loaded), its paths rewritten, DeleteOldKeys
// when its new values are whole, the hive unloaded; a hive that cannot be
// loaded is listed in `profilesNotLoaded`; an account without the right to
// load hives (an ordinary user) leaves those profiles alone, with a line in
// the log. Then WriteNewKeys in every other
// root, RewriteRegistry (the old install and shared folders to
// `finalInstallFolder`; it reaches the loaded hives through HKEY_USERS), and,
// for each root whose new values are in place, unless the walk was stopped,
// DeleteOldKeys. Every part finds its
// own work already done on a second run and leaves it alone. `stop` is
// consulted before the new keys, between keys of the walk and before the
// deletion; a stop returns at once with `stopped` set. Shows nothing and
// keeps no state: safe on a worker thread (the event log is the only
// shared thing it writes to). Before it returns, each root it wrote is
// flushed to disk (HKEY_CURRENT_USER always; the others when the walk
// rewrote a value); a root that cannot be is in `notFlushed`.
RegistryResult MigrateRegistry(const char* installFolder, const char* sharedFolder, const char* finalInstallFolder,
                               const ShortForms& kept, const ProgressStep& step, const StopCheck& stop,
                               const std::vector<platform::UserProfile>& profiles = {});

// The dry run of MigrateRegistry for the preflight: the same walk and the
// same checks of this account's own keys, nothing changed, no hive loaded;
// `entered` is told of each key the walk enters. Its lists name what the real
// step would fail to do as this process (rights); `walk.rewritten` counts
// the values it would rewrite.
RegistryResult CheckRegistry(const char* installFolder, const char* sharedFolder, const char* finalInstallFolder,
                             const ShortForms& kept, const StopCheck& stop = {}, const KeyEntered& entered = {});

// The keys of the four roots the walk of MigrateRegistry and CheckRegistry
// visits, as RegistryMode::Count counts them (down to kCountDepth levels
// below each root): the total a walk's progress is measured against, in the
// keys its KeyEntered is told of down to that depth. `stop` as for the walk.
unsigned long CountRegistryKeys(const StopCheck& stop = {});

// What the machine shows of MigrateRegistry: every new value holds its data
// for `finalInstallFolder`, no old key is left, and the ".ksd" open command
// (when the association is there) names "<finalInstallFolder>\Dovetra.exe".
// Reads only.
bool RegistryShown(const char* finalInstallFolder);
// The mark a fleet tool detects the update by (README.md): the value
// "Version" = "5.0.3" of HKEY_LOCAL_MACHINE\SOFTWARE\Halvern\Dovetra 5\Update
// (32-bit view), with "Install Folder" beside it. Written when an update has
// completed and never before; false (the system's error) when this account
// may not write there, as an ordinary user may not.
bool WriteCompletionMark(const char* finalInstallFolder);

// The result as the other parts of the migration report theirs: a problem
// per value not written, new value not written and old key not deleted (the
// key and value in `item`), one for old keys kept, one per root not flushed,
// and `stopped`.
Outcome RegistryOutcome(const RegistryResult& r);

}  // namespace migrate
