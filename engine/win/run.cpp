#include "run.h"

#include "log.h"
#include "options.h"
#include "runner.h"
#include "source.h"
#include "text.h"
#include "winfile.h"

namespace eng {

namespace {

const wchar_t kLogName[] = L"patch.err";

// A bare name is looked for beside the engine first (where the updater puts
// engine and patches together), then in the working folder. Any other name
// is used as given, relative to the working folder.
std::wstring ResolvePatch(const std::wstring& name, const std::wstring& engineFolder, const std::wstring& root) {
    if (!IsBareName(name)) return name;
    if (!engineFolder.empty()) {
        std::wstring beside = JoinPath(ToLongPath(engineFolder), name);
        if (Exists(beside)) return beside;
    }
    return JoinPath(root, name);
}

int Execute(const Options& o, const std::wstring& root, const std::wstring& engineFolder, Log& log) {
    if (!o.unknown.empty()) {
        for (const std::wstring& u : o.unknown) log.Error(Code::unknownOption, WideToUtf8(u));
        return exitUsage;
    }
    if (o.names != 1) {
        log.Error(Code::noPatchFile, std::to_string(o.names) + " names given");
        return exitUsage;
    }
    Tree tree(root);
    Runner runner(tree, o, log);
    ExitCode recovered = runner.Recover();
    if (recovered != exitOk) return recovered;
    PatchSource source;
    std::wstring path = ResolvePatch(o.patchName, engineFolder, root);
    if (!source.Open(path, WideToUtf8(o.patchName), log)) return exitFailed;
    return runner.Apply(source);
}

}  // namespace

int RunEngine(const std::vector<std::wstring>& args, const std::wstring& engineFolder) {
    Options o = ParseOptions(args);
    Log log;
    log.EchoToConsole(!o.noConsole);
    log.SetVerbose(o.verbose);
    std::wstring root;
    bool haveRoot = CurrentFolderLong(&root);
    // A caller that asked for the log judges the run by it: without a log
    // nothing may change, or a failure could pass for success.
    bool logged = !o.errorLog || log.OpenFile(haveRoot ? JoinPath(root, kLogName) : std::wstring(kLogName));
    int code;
    if (!haveRoot || !logged) {
        DWORD sys = ::GetLastError();
        std::string why = sys == ERROR_CANT_ACCESS_FILE ? " (a link is at its name)" : "";
        log.Error(Code::workingFolder, logged ? "" : "patch.err cannot be written" + why, sys);
        code = exitFailed;
    } else {
        log.Info("patch " + WideToUtf8(o.patchName) + (o.testOnly ? " (check only)" : ""));
        code = Execute(o, root, engineFolder, log);
    }
    if (code != exitOk)
        log.Error(Code::notCompleted, "");
    else
        log.Info(o.testOnly ? "check complete: the patch applies" : "update complete");
    return code;
}

}  // namespace eng
