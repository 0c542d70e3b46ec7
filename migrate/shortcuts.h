// The new suite's Start-menu and desktop shortcuts.
#pragma once
#include <windows.h>
#include <string>
#include "migrate/outcome.h"

namespace migrate {

// Writes the link file `linkPath` pointing at `target` with `description`:
// saved under WorkPathFor(linkPath) (or "~dv.~dv" beside it, where that name
// would not fit the shell's MAX_PATH) and moved into place, so that a link at
// that name is replaced, never written through; the saved file is flushed
// to disk (FlushFileBuffers) before it is moved into place. A failed
// SetPath, SetDescription, save or flush is a problem of `out` ("SetPath
// failed!", ..., "Flush failed!") and the work goes on (a link not saved or
// not flushed is not put in place). Returns the save's COM result (S_OK), or the
// failure of creating the link object (no problem added: the caller tells).
// COM must be initialised on the calling thread.
HRESULT CreateShortcut(const char* target, const char* linkPath, const char* description, Outcome& out);

// The steps of writing one link file, each reporting success; on failure
// the COM result is in GetLastError() (platform/shelllink.h). CreateShortcut
// uses the shell's link object; tests put in links that fail where told.
class LinkWriter {
public:
    virtual ~LinkWriter() = default;
    virtual bool Create() = 0;
    virtual bool SetPath(const char* target) = 0;
    virtual bool SetDescription(const char* description) = 0;
    virtual bool Save(const char* linkPath) = 0;
};

// CreateShortcut on a given writer.
HRESULT CreateShortcutWith(LinkWriter& link, const char* target, const char* linkPath, const char* description,
                           Outcome& out);

// Creates "<programsFolder>\Dovetra 5" with a shortcut for each of
// "Dovetra.exe", "Kestrin 4 to 3 Converter.exe", "Kestrin 4 to 3
// Converter.ksd" and "ReadMe.ksd" that exists in `finalInstallFolder`; puts a
// copy of the main shortcut into `desktopFolder` in place of "Kestrin
// 5.0.lnk" when that was there (the old one is deleted only once the copy is
// in place); deletes "<programsFolder>\Kestrin 5.0" once the new main
// shortcut is made and on disk (else it is kept). An empty folder is left alone. Every
// part can run again: a second run makes the same shortcuts and finishes a
// swap or a deletion cut off. Problems: each shortcut whose target exists
// but that was not made, a swap or deletion not done. COM must be
// initialised on the calling thread.
// A stop request is honoured before each shortcut, the swap and the
// deletion of the old menu.
Outcome MigrateShortcuts(const std::string& finalInstallFolder, const std::string& programsFolder,
                         const std::string& desktopFolder, const StopCheck& stop = {});

// What the machine shows of MigrateShortcuts: each shortcut whose target
// exists in `finalInstallFolder` is a link file that loads and points at
// that target, the old Start-menu folder and the old desktop link are gone.
// Reads only; COM must be initialised on the calling thread.
bool ShortcutsShown(const std::string& finalInstallFolder, const std::string& programsFolder,
                    const std::string& desktopFolder);

}  // namespace migrate
