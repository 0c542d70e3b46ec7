// Shortcut (.lnk) files through the shell's link object: ShellLink with
// IShellLinkW for the fields (all texts UTF-8 here) and IPersistFile for the file. COM must be
// initialised on the calling thread. See README.md for the error convention;
// here the code left in GetLastError() after a false return is the COM
// result (an HRESULT), since that is what the shell hands back.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <string>
#include "platform/handles.h"

namespace platform {

class ShellLink {
public:
    // Creates the link object (in-process) and obtains its IPersistFile.
    bool Create();
    bool SetPath(const char* target);
    bool SetDescription(const char* description);
    // Writes the link file; the path in UTF-16 must fit MAX_PATH units with
    // its NUL. The link object then
    // remembers that file as its own.
    bool Save(const char* linkPath);
    // Reads a link file written before (tests read links back this way).
    bool Load(const char* linkPath);
    // The target and the description held by the object.
    bool GetPath(std::string& out);
    bool GetDescription(std::string& out);

private:
    // Declared in this order so that the persistence interface is released
    // first, then the link object.
    ComPtr<IShellLinkW> link_;
    ComPtr<IPersistFile> file_;
};

}  // namespace platform
