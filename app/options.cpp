#include "app/options.h"
#include <cstring>
#include <vector>
#include "common/path.h"

namespace app {
using namespace common;

bool IsDiagnosticCommandLine(const char* commandLine) {
    const char* lastSpace = std::strrchr(commandLine, ' ');
    return lastSpace && std::strcmp(lastSpace + 1, "-d") == 0;
}

// The words of a command line: blanks separate, double quotes group.
static std::vector<std::string> Words(const char* line) {
    std::vector<std::string> words;
    const char* p = line;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) return words;
        std::string word;
        bool quoted = false;
        for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
            if (*p == '"')
                quoted = !quoted;
            else
                word += *p;
        }
        words.push_back(word);
    }
}

Options ParseOptions(const char* commandLine) {
    Options o;
    o.diagnostic = IsDiagnosticCommandLine(commandLine);
    std::vector<std::string> words = Words(commandLine);
    size_t end = words.size();
    if (o.diagnostic) --end;  // the last word is that "-d"
    for (size_t i = 1; i < end && o.badSwitch.empty(); ++i) {
        const std::string& w = words[i];
        bool hasValue = i + 1 < end;
        if (PathsEqual(w.c_str(), "/quiet")) {
            o.quiet = true;
        } else if (PathsEqual(w.c_str(), "/check")) {
            o.check = true;
        } else if (PathsEqual(w.c_str(), "/dir") && hasValue && !words[i + 1].empty()) {
            o.folder = words[++i];
        } else if (PathsEqual(w.c_str(), "/log") && hasValue && !words[i + 1].empty()) {
            o.logPath = words[++i];
        } else {
            o.badSwitch = w;
        }
    }
    return o;
}

}  // namespace app
