// One update at a time on a machine. See README.md for the error convention.
#pragma once
#include "platform/handles.h"

namespace platform {

// Takes the machine-wide token `name` (a named mutex in the global
// namespace, so that every session sees it) for as long as `token` holds it;
// it is let go when `token` is reset or the process ends, however it ends.
// Fails with ERROR_ALREADY_EXISTS while another process holds it.
bool TakeMachineToken(const char* name, Handle& token);

}  // namespace platform
