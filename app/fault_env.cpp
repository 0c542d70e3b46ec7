#include "app/fault.h"
#include "platform/file.h"
#include <cstring>

namespace app {

bool Faulted(const char* what) {
    char wanted[32];
    if (!platform::EnvironmentValue("DV_FAULT", wanted, sizeof wanted)) return false;
    return std::strcmp(wanted, what) == 0;
}

}  // namespace app
