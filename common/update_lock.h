// One update at a time on a machine, in any session, by a lock no ordinary
// user can take or hold: a mutex in the global namespace that only SYSTEM
// and the administrators may open, owned by the Administrators group. A
// name that somebody else holds (any object of that name whose owner or
// access list is not an administrator's) is passed over for the next of a
// short row of names; the first name that is free or an update's decides.
#pragma once
#include <string>
#include <vector>
#include "platform/handles.h"

namespace common {

enum class LockState {
    kTaken,   // `token` holds the lock until it is reset or the process ends
    kHeld,    // another update holds it
    kFailed,  // no name could be taken (every one held by others, or a system failure)
};
// Takes the lock named `name` ("Global\<name>", then "<name> (2)"...). Each
// name passed over adds a line to *notes (the name and whose it is).
LockState TakeUpdateLock(const char* name, platform::Handle& token, std::vector<std::string>* notes);

}  // namespace common
