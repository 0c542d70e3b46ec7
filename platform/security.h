// Access control: what the updater creates, and who owns and may change what
// it finds. See README.md for the error convention.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "platform/handles.h"

namespace platform {

// Creates one folder that only the current user, the administrators and the
// system may use: it gets a protected access list of its own instead of the
// parent's inherited one (a drive's root lets every user change files in
// folders made below it). Fails when the name exists already.
bool CreatePrivateFolder(const char* path);

// Creates one folder that SYSTEM and the administrators alone may change
// (every user may read it), with a protected access list that files made in
// it inherit, owned by the Administrators group. A process that may not
// give that owner (one not elevated: ERROR_INVALID_OWNER) makes it with
// itself as owner and its own account added to the writers, so that it can
// still write there; an elevated updater does not trust such a folder.
// Fails when the name exists already.
bool CreateAdminFolder(const char* path);

// One entry of an access list, as the system holds it; SIDs as text.
struct AccessEntry {
    bool allow = true;         // an allow entry (else a deny entry)
    bool inheritOnly = false;  // applies to what is made below only, not to the object
    std::string sid;
    uint32_t mask = 0;
};
// Who owns an object and who may do what to it.
struct ObjectSecurity {
    std::string owner;     // empty: the object has none
    bool hasDacl = false;  // false: no access list, which lets everyone do everything
    std::vector<AccessEntry> dacl;
};
// The owner and access list of a file or folder (not through a link at its
// name: a link is looked at itself). False, GetLastError() telling why, when
// they cannot be read.
bool ReadPathSecurity(const char* path, ObjectSecurity& out);
// The same for a kernel object held by `object`.
bool ReadObjectSecurity(HANDLE object, ObjectSecurity& out);

// The well-known SIDs as text, made by the system (CreateWellKnownSid).
std::string SystemSid();
std::string AdministratorsSid();
// "DOMAIN\name" of a SID as the system names it; the SID itself when it has
// no name here.
std::string AccountName(const std::string& sid);

// Creates the kernel mutex `name` ("Global\..." for every session) with the
// access list `sddl`, owned as the text says, not taken by anyone. *existed:
// the name was there already; `out` then holds the existing object when it
// could be opened (ERROR_ACCESS_DENIED when not). False when there is no
// handle, GetLastError() telling why.
bool CreateGuardedMutex(const char* name, const char* sddl, Handle& out, bool* existed);
// Opens the existing mutex `name` to read its owner and access list, never
// creating it. False when there is none or it cannot be opened
// (GetLastError() telling why).
bool OpenExistingMutex(const char* name, Handle& out);

}  // namespace platform
