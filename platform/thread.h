// Worker threads. See README.md for the error convention.
#pragma once
#include <functional>
#include "platform/handles.h"

namespace platform {

// Runs `work` on a new thread. `thread` owns the thread's handle, which is
// signalled once `work` has returned: wait on it with WaitProcessEnd or
// WaitProcessEndPumping (process.h) like on a child process. What `work`
// captures must live until then.
bool StartThread(std::function<void()> work, Handle& thread);

}  // namespace platform
