// The walk that rewrites registry values below a key, and what it reports.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "migrate/outcome.h"
#include "migrate/registry_text.h"

namespace migrate {

// Rewrite changes values. DryRun changes nothing: it reads exactly as the
// rewrite does and reports what the rewrite could not do as this process.
// Count reads no value and changes nothing: it counts in `keys` the start
// and the keys down to kCountDepth levels below it, opening only those above
// that level: the measure of a walk's progress (KeyEntered at those depths),
// at a small part of a walk's cost.
enum class RegistryMode { Rewrite, DryRun, Count };
constexpr unsigned kCountDepth = 3;

// A key or value named in a result, for a message or a log line (UTF-8; a
// unit that UTF-8 cannot spell, an unpaired surrogate, shows as U+FFFD).
struct RegistryItem {
    std::string key;      // root and path: "HKEY_CURRENT_USER\Software\..."
    std::string value;    // the value's name, "" for the default value; "" in lists of keys
    unsigned long error;  // the system's error code; 0 where none applies (a link, a key too deep)
};

// The first kRegistryListCap items, and how many there were in all.
constexpr size_t kRegistryListCap = 50;
struct RegistryList {
    std::vector<RegistryItem> items;
    unsigned long count = 0;

    void Add(RegistryItem item);
    void Append(const RegistryList& other);
};

// Told of each key the walk is about to enter below its start, with its
// depth (1: a subkey of the start); may be empty.
using KeyEntered = std::function<void(unsigned depth)>;

// A key below the walk's start deeper than this is not entered: Windows
// allows no deeper keys, so only a hostile or foreign registry has them, and
// the recursion stays within a known stack (about 230 bytes a level as
// built here: some 120 KB at the bound).
constexpr unsigned kMaxRegistryDepth = 512;

struct RegistryWalkResult {
    unsigned long keys = 0;       // keys whose values were read
    unsigned long values = 0;     // values read
    unsigned long rewritten = 0;  // values written with new data (dry run: that would be, and could be)
    // Values that needed a change and could not be written: key, value and
    // the error of opening the key for writing or of the write. Dry run: the
    // values that need a change in keys this process cannot open with
    // KEY_SET_VALUE.
    RegistryList notWritten;
    unsigned long unreadable = 0;   // keys that could not be opened or read: not entered
    unsigned long aliasesLeft = 0;  // keys left out as another root's alias (`leaveOut`)
    RegistryList links;             // link keys: their own values read, never entered
    RegistryList tooDeep;           // keys past kMaxRegistryDepth, not entered
    bool stopped = false;           // the stop check said stop: keys after that point were not visited

    void Add(const RegistryWalkResult& other);
};

// Rewrites every text value in `key` and in all keys below it, depth first,
// a key's own values before its subkeys; `label` names `key` in the result
// ("HKEY_CURRENT_USER"). Names and data are read and written as UTF-16
// (wide calls only): keys, value names and text in any script are entered,
// matched and kept exactly. Keys are opened for reading only and never
// created; only a key with a value to change is opened again for writing,
// after its values have been read (dry run: opened and closed again). Every
// subkey is opened as it is, never through a link: a link key (its value
// "SymbolicLinkValue" of type REG_LINK) is a leaf whose own other values are
// rewritten like any others and whose "SymbolicLinkValue" never is, so a link
// cycle ends at once and a key that a link points to is visited only at its
// real place. Buffers follow each key's own maxima, so no value is skipped
// for its size or its name's length. `key` stays open; every key opened here
// is closed before return. The counts of values and subkeys read when a key
// is entered bound its enumeration.
// `stop` is consulted before each subkey is entered; when it says stop the
// walk returns at once, `stopped` set. Stopping anywhere is safe: every value
// is written whole, and a walk run again finds what is left (rewritten text
// is not changed again: the table's identity rows).
// `leaveOut` names (UTF-8) direct subkeys of `key` not to enter (ASCII case
// ignored): keys that are walked through another root already.
RegistryWalkResult RewriteRegistryTree(HKEY key, const char* label, const RewriteTable& table,
                                       RegistryMode mode = RegistryMode::Rewrite, const StopCheck& stop = {},
                                       const std::vector<std::string>& leaveOut = {}, const KeyEntered& entered = {});

}  // namespace migrate
