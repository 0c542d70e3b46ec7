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

// The Nth pass through `where`, when `variable` names it. Counted across
// threads: the migration's items pass here on its worker.
static bool Reached(const char* variable, const char* where) {
    static std::mutex lock;
    static std::map<std::string, long> passed;
    std::string name;
    long n = 0;
    if (!Target(variable, &name, &n) || name != where) return false;
    std::lock_guard<std::mutex> hold(lock);
    return ++passed[std::string(variable) + name] == n;
}

void AtBoundary(const char* where) {
    if (Reached("DV_KILL_AT", where)) ::TerminateProcess(::GetCurrentProcess(), 99);
    // A fault of the updater's own, as a bug would make it.
    if (Reached("DV_CRASH_AT", where)) *static_cast<volatile int*>(nullptr) = 0;
}

void BeforeEngine(int step) {
    std::string name;
    long n = 0;
    bool stop = Target("DV_ENGINE_STOP", &name, &n) && name == std::to_string(step + 1);
    ::SetEnvironmentVariableW(L"DVPATCH_STOP_AT", stop ? std::to_wstring(n).c_str() : nullptr);
}

}  // namespace app
