// Writes the new content of one file under its work name and proves it: the
// bytes written must have the recorded size and SHA-256, or the work file is
// not used. Nothing visible under the target's own name changes here.
#pragma once
#include "patchfile.h"
#include "source.h"
#include "step.h"
#include "winfile.h"

namespace eng {

bool StageFile(const Tree& tree, const Step& s, const core::patchfile::Entry& e, const PatchSource& patch, Failure* f);

}  // namespace eng
