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

// The length of `programPath` at the start of `line` (after blanks), when it
// stands there unquoted and whole; 0 otherwise.
static size_t UnquotedProgram(const char* line, const char* programPath) {
    size_t lead = std::strspn(line, " \t"), n = std::strlen(programPath);
    if (n == 0 || std::strlen(line + lead) < n) return 0;
    std::string start(line + lead, n);
    char after = line[lead + n];
    if (!PathsEqual(start, programPath) || (after != 0 && after != ' ' && after != '\t')) return 0;
    return lead + n;
}

Options ParseOptions(const char* commandLine, const char* programPath) {
    Options o;
    o.diagnostic = IsDiagnosticCommandLine(commandLine);
    size_t program = UnquotedProgram(commandLine, programPath);
    // The words after an unquoted program path; a stand-in word keeps the
    // program at index 0.
    std::vector<std::string> words = Words(commandLine + program);
    if (program) words.insert(words.begin(), programPath);
    size_t end = words.size();
    if (o.diagnostic) --end;  // the last word is that "-d"
    for (size_t i = 1; i < end; ++i) o.msiCodes = o.msiCodes || PathsEqual(words[i].c_str(), "/msicodes");
    for (size_t i = 1; i < end && o.badSwitch.empty(); ++i) {
        const std::string& w = words[i];
        bool hasValue = i + 1 < end;
        if (PathsEqual(w.c_str(), "/msicodes")) {
            // taken above
        } else if (PathsEqual(w.c_str(), "/quiet")) {
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

int ExitCode(Ending ending, bool msiCodes) {
    if (!msiCodes) return static_cast<int>(ending);
    switch (ending) {
    case Ending::kUpdated: return kMsiSuccess;
    case Ending::kCancelled: return kMsiUserExit;
    case Ending::kBadSwitch: return kMsiBadCommandLine;
    case Ending::kPatchFailed:
    case Ending::kMigrationFailed:
    case Ending::kFilesInUse:
    case Ending::kAlreadyRunning:
    case Ending::kInternalError: return kMsiRetryLater;
    case Ending::kBadBuild:
    case Ending::kNotFound:
    case Ending::kInitFailed:
    case Ending::kCannotUpdate:
    case Ending::kDamagedRecord: break;
    }
    return kMsiInstallFailure;
}

}  // namespace app
