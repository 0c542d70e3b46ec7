#include <windows.h>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include "app/fault.h"
#include "platform/file.h"

namespace app {

bool Faulted(const char* what) {
    std::string wanted;
    return platform::EnvironmentValue("DV_FAULT", wanted) && wanted == what;
}

// "NAME:N" split; false when the variable is unset or has no number.
static bool Target(const char* variable, std::string* name, long* n) {
    std::string value;
    if (!platform::EnvironmentValue(variable, value)) return false;
    size_t colon = value.rfind(':');
    if (colon == std::string::npos) return false;
    *name = value.substr(0, colon);
    *n = std::strtol(value.c_str() + colon + 1, nullptr, 10);
    return *n > 0;
}

void AtBoundary(const char* where) {
    // Counted across threads: the migration's items pass here on its worker.
    static std::mutex lock;
    static std::map<std::string, long> passed;
    std::string name;
    long n = 0;
    if (!Target("DV_KILL_AT", &name, &n) || name != where) return;
    std::lock_guard<std::mutex> hold(lock);
    if (++passed[name] == n) ::TerminateProcess(::GetCurrentProcess(), 99);
}

void BeforeEngine(int step) {
    std::string name;
    long n = 0;
    bool stop = Target("DV_ENGINE_STOP", &name, &n) && name == std::to_string(step + 1);
    ::SetEnvironmentVariableW(L"DVPATCH_STOP_AT", stop ? std::to_wstring(n).c_str() : nullptr);
}

}  // namespace app
