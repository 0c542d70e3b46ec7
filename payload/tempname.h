// A folder of our own for the extracted payload.
#pragma once
#include <string>

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

}  // namespace payload
