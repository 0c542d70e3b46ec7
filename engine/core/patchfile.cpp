#include "patchfile.h"

namespace patchfile {

Error ParseHeader(const uint8_t*, size_t, uint64_t, Header*) { return Error::badMagic; }
Error ParseTable(const uint8_t*, size_t, const Header&, std::vector<Entry>*) { return Error::badTable; }
bool IsSafeRelativePath(const std::string&) { return false; }
const char* ErrorText(Error) { return "unknown"; }

}  // namespace patchfile
