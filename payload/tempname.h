// A folder of our own for the extracted payload.
#pragma once
#include <string>
#include <vector>

namespace payload {

// Chooses the base folder: the one named by "TMP" when it exists; else that
// value with its double quotes removed, when that exists; else `preferred`
// when it exists; else "\" when it exists; else ".". Then creates
// base\<prefix><n> for n = 1, 2, ... up to 32767, taking the first that did
// not exist (the creation itself is the test, so nobody can slip a folder in
// between), and stores its full path in `out`. The folder is made private to
// the current user, so nobody else can plant or swap files in it. Fails when
// the full path would leave no room for "\" and a 12-character file name
// within MAX_PATH UTF-16 units (the engine is started from there, and a
// program's own path must fit that), when every number is taken, or when a
// folder cannot be created.
bool MakeTempFolder(const char* preferred, const char* prefix, std::string& out);

// Removes what runs cut off before their clean-up (killed, a power cut)
// left in the base folder MakeTempFolder picks: each folder named
// <prefix><digits>, other than `keep`, that is no link and holds nothing but
// files named in `names` (the payload's and the engine's log). Anything else
// is left alone, as is a folder whose files cannot be deleted (an updater of
// another version still using it). Meant for a run that holds the update
// lock: no other updater's folder is then in use. Returns the folders
// removed.
std::vector<std::string> RemoveLeftFolders(const char* preferred, const char* prefix, const std::string& keep,
                                           const std::vector<std::string>& names);

}  // namespace payload
