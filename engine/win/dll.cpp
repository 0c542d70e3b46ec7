// The export of "patchw32.dll".
#include <string>
#include <vector>

#include "api.h"
#include "run.h"

extern "C" __declspec(dllexport) int __cdecl PatchRunW(int argc, const wchar_t* const* argv,
                                                       const wchar_t* engineFolder) {
    std::vector<std::wstring> args;
    for (int i = 0; i < argc; i++) args.emplace_back(argv[i] ? argv[i] : L"");
    return eng::RunEngine(args, engineFolder ? engineFolder : L"");
}
