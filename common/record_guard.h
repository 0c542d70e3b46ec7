// What makes an update record, or the lock of an update, one an
// administrator's: who owns it and who may change it, and folders the
// elevated updater may act on. The checks are pure functions over what the
// system reports (tested as tables); RecordRightsProblem asks the system.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "common/update_record.h"
#include "platform/security.h"

namespace common {

// The accounts an object may belong to and be changed by: SYSTEM, the
// Administrators group and the account the updater runs as (SIDs as text).
struct TrustedSids {
    std::string system, administrators, self;
    bool Holds(const std::string& sid) const {
        return !sid.empty() && (sid == system || sid == administrators || sid == self);
    }
};
// The trusted SIDs of this process; `self` empty when it cannot be had.
TrustedSids ProcessTrustedSids();

// The rights that change a file or folder: write or append data, add files
// or folders, delete it or its children, change its attributes, its access
// list or its owner.
constexpr uint32_t kChangeRights =
    0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000 | 0x02000000;
// Every right: for an object nobody else may even hold.
constexpr uint32_t kAnyRight = 0xFFFFFFFFu;

// Why an object is not trusted: its owner is somebody else, it has no access
// list, or an entry that applies to it grants one of `rights` to somebody
// else. `sid` names that somebody (empty for kNoList).
struct Distrust {
    enum Kind { kNone, kOwner, kNoList, kGrant } kind = kNone;
    std::string sid;
};
Distrust DistrustOf(const platform::ObjectSecurity& s, const TrustedSids& trusted, uint32_t rights);
// "owned by NAME", "writable by NAME", "writable by everyone (it has no
// access list)"; empty for kNone. NAME as the system names the account.
std::string DescribeDistrust(const Distrust& d);

// The folders no record may name: the Windows folder (nor anything below
// it), and folders a record may name neither itself nor above (the
// ProgramData folder, Program Files, the users' folder...). Compared
// without case.
struct SystemFolders {
    std::string windows;
    std::vector<std::string> whole;
};
SystemFolders ProcessSystemFolders();
// Why `folder`, named by a record, may not be acted on; empty when it may:
// not a full path, a device ("\\?\", "\\.\") path, "/" or a "." or ".."
// part or a part ending in "." or " " (names that mean another folder than
// they spell), the Windows folder or below it, or one of `system.whole` or
// a folder above one (so the system drive's root). The root of another
// drive may hold an installation, and is let through.
std::string RecordFolderProblem(const std::string& folder, const SystemFolders& system);
// The first problem of any folder the record names (with the folder).
std::string RecordContentsProblem(const UpdateRecord& r, const SystemFolders& system);

// Why one file or folder is not an administrator's: "\"PATH\" is owned
// by NAME" and the like, or that its owner and rights cannot be read; empty
// when it is.
std::string RightsProblem(const std::string& item);
// Why the record at `path` (the file, then its folder) is not an
// administrator's (RightsProblem); empty when both are.
std::string RecordRightsProblem(const std::string& path);

}  // namespace common
