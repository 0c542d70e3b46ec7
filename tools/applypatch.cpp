// applypatch DIR PATCH: applies a patch file to DIR with the engine's
// portable core (host build; the Windows engine is a separate program).
#include <cstdio>
#include <string>

#include "applier.h"
#include "hostfile.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: applypatch DIR PATCH\n");
        return 2;
    }
    patchbuild::SetHeapForFileAfterFile();
    std::string error;
    if (!patchbuild::ApplyPatch(argv[1], argv[2], &error)) {
        fprintf(stderr, "applypatch: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
