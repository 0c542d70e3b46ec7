// The machine's user profiles and their registry hives: those loaded below
// HKEY_USERS (a user logged on, a program running as them) and those listed
// under ProfileList whose hive file is not loaded, which are loaded for the
// time they are needed.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "platform/handles.h"

namespace platform {

struct UserProfile {
    std::string sid;       // "S-1-5-21-...": the hive's name below HKEY_USERS
    std::string hiveFile;  // its "NTUSER.DAT" (from ProfileList; "" for a loaded hive it does not list)
    bool loaded = false;   // the hive is loaded below HKEY_USERS
};

// The profiles of people, SIDs "S-1-5-21-..." only (".DEFAULT", the service
// accounts and the "<SID>_Classes" hives are not profiles): the loaded hives
// first, in HKEY_USERS' order, then the profiles of ProfileList
// (HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList) that are
// not loaded, each with "<ProfileImagePath>\NTUSER.DAT". A key that cannot be
// read is passed over.
std::vector<UserProfile> ListUserProfiles();

// `sid` as the name of a profile's hive, "S-1-5-21-" and digits and dashes.
bool IsUserSid(const std::string& sid);

// Enables a privilege the process token holds (SeRestorePrivilege). Fails
// with ERROR_NOT_ALL_ASSIGNED when the token does not hold it.
bool EnablePrivilege(const wchar_t* name);

// A user's registry root for as long as this lives. A loaded hive is opened
// as HKEY_USERS\<SID>; a hive that is not is loaded from its file below
// HKEY_USERS under a name of ours ("Dovetra Update <SID>"), with the backup
// and restore privileges enabled, and unloaded by Close or the destructor
// whatever happened in between (a hive left loaded keeps its user from
// logging on). Keys opened below Root() must be closed before that.
class UserHive {
public:
    UserHive() = default;
    ~UserHive() { Close(); }
    UserHive(const UserHive&) = delete;
    UserHive& operator=(const UserHive&) = delete;

    // A hive our name still holds (a run that was cut off) is unloaded
    // first. Fails with the system's error: a file in use by a user logging
    // on gives ERROR_SHARING_VIOLATION, no privilege ERROR_PRIVILEGE_NOT_HELD.
    bool Open(const UserProfile& profile, REGSAM access);
    HKEY Root() const { return root_.Get(); }
    // "HKEY_USERS\<name>" as the hive is open now, for the log.
    const std::string& Label() const { return label_; }
    bool LoadedHere() const { return !loadedAs_.empty(); }
    // Closes the root and unloads the hive this loaded; false (the error
    // kept) when the unload failed.
    bool Close();

private:
    Key root_;
    std::wstring loadedAs_;
    std::string label_;
};

}  // namespace platform
