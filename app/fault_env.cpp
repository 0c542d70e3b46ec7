#include <string>
#include "app/fault.h"
#include "platform/file.h"

namespace app {

bool Faulted(const char* what) {
    std::string wanted;
    return platform::EnvironmentValue("DV_FAULT", wanted) && wanted == what;
}

}  // namespace app
