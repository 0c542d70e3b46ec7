#include "common/update_lock.h"
#include "common/record_guard.h"
#include "platform/error.h"
#include "platform/security.h"

namespace common {

namespace {
// The names tried before giving up: each one somebody else holds costs one
// call; the row ends so that the run ends.
const int kNames = 64;
// SYSTEM and the administrators only, owned by the Administrators group; a
// process that may not give that owner (one not elevated) gets its own
// account added, and its lock is then passed over by an elevated updater.
const char kAdminLock[] = "O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

std::string NameAt(const char* name, int n) {
    return std::string("Global\\") + name + (n > 1 ? " (" + std::to_string(n) + ")" : "");
}

// Whether an update other than ours holds a name of the row: one that took a
// later name while an earlier one was squatted, or an earlier one after the
// squatter let go. Two updates that take names at once may each see the
// other and both step back; neither then runs, and both say so (code 9).
bool AnotherUpdateHolds(const char* name, int ours, const TrustedSids& trusted) {
    for (int n = 1; n <= kNames; ++n) {
        platform::Handle h;
        platform::ObjectSecurity s;
        if (n == ours || !platform::OpenExistingMutex(NameAt(name, n).c_str(), h)) continue;
        if (platform::ReadObjectSecurity(h.Get(), s) && DistrustOf(s, trusted, kAnyRight).kind == Distrust::kNone)
            return true;
    }
    return false;
}
}  // namespace

LockState TakeUpdateLock(const char* name, platform::Handle& token, std::vector<std::string>* notes) {
    token.Reset();
    TrustedSids trusted = ProcessTrustedSids();
    for (int n = 1; n <= kNames; ++n) {
        std::string full = NameAt(name, n);
        platform::Handle h;
        bool existed = false;
        bool made = platform::CreateGuardedMutex(full.c_str(), kAdminLock, h, &existed);
        if (!made && !existed && platform::LastError() == ERROR_INVALID_OWNER)
            made = platform::CreateGuardedMutex(
                full.c_str(), ("D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + trusted.self + ")").c_str(), h, &existed);
        if (!made && !existed) return LockState::kFailed;
        if (!existed) {
            if (AnotherUpdateHolds(name, n, trusted)) return LockState::kHeld;
            token = std::move(h);
            return LockState::kTaken;
        }
        // An update's lock lets only the trusted open it, so one we may not
        // open is somebody else's.
        platform::ObjectSecurity s;
        Distrust d;
        if (!made) {
            d.kind = Distrust::kGrant;
        } else if (!platform::ReadObjectSecurity(h.Get(), s)) {
            d.kind = Distrust::kNoList;
        } else {
            d = DistrustOf(s, trusted, kAnyRight);
        }
        if (d.kind == Distrust::kNone) return LockState::kHeld;
        notes->push_back("the lock name \"" + full + "\" is held by another program (" +
                         (made ? DescribeDistrust(d) : std::string("not open to administrators")) +
                         "), not by an update; trying the next name");
    }
    return LockState::kFailed;
}

}  // namespace common
