#include "platform/command_line.h"
#include <windows.h>
#include <string>
#include "platform/utf.h"

namespace platform {

const char* ProcessCommandLine() {
    // Converted once; kept for the life of the process like the system's own.
    static const std::string line = [] {
        std::string s;
        const wchar_t* w = ::GetCommandLineW();
        ToUtf8(w, std::char_traits<wchar_t>::length(w), s);
        return s;
    }();
    return line.c_str();
}

}  // namespace platform
