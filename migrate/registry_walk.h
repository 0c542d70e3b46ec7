// The walk that rewrites registry values below a key.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "migrate/registry_text.h"

namespace migrate {

struct RegistryWalkStats {
    unsigned long keys;          // keys whose values were read
    unsigned long values;        // values read
    unsigned long rewritten;     // values written back with new data
    unsigned long failedWrites;  // values that needed a change but could not be written
    unsigned long skippedKeys;   // subkeys that could not be opened for reading
    unsigned long aliasesLeft;   // subkeys left out as another root's alias
};

// Rewrites every text value in `key` and in all keys below it, depth first,
// a key's own values before its subkeys. Names and data are read and written
// as UTF-16 (wide calls only): keys, value names and text in any script are
// entered, matched and kept exactly. Keys are opened for reading only and
// never created; only a key with a value to change is opened again for
// writing, after its values have been read. Buffers follow each key's own
// maxima, so no value is skipped for its size or its name's length. `key`
// stays open; every key opened here is closed before return. The counts of
// values and subkeys read when a key is entered bound its enumeration.
// `leaveOut` names (UTF-8) direct subkeys of `key` not to enter (ASCII case ignored):
// keys that are walked through another root already.
void RewriteRegistryTree(HKEY key, const RewriteTable& table, RegistryWalkStats& stats,
                         const std::vector<std::string>& leaveOut = {});

}  // namespace migrate
