// mkpatch OLD_DIR NEW_DIR OUT.RTP [--window BYTES]
// Writes a patch file that turns the tree OLD_DIR into the tree NEW_DIR.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "builder.h"
#include "hostfile.h"

int main(int argc, char** argv) {
    patchbuild::SetHeapForFileAfterFile();
    patchbuild::BuildOptions options;
    if (argc == 6 && strcmp(argv[4], "--window") == 0) {
        char* end = nullptr;
        unsigned long long w = strtoull(argv[5], &end, 10);
        if (*end != '\0' || w == 0 || w > (1ull << 30)) {
            fprintf(stderr, "mkpatch: --window takes a byte count from 1 to 1073741824\n");
            return 2;
        }
        options.window = w;
    } else if (argc != 4) {
        fprintf(stderr, "usage: mkpatch OLD_DIR NEW_DIR OUT.RTP [--window BYTES]\n");
        return 2;
    }
    patchbuild::BuildStats stats;
    std::string error;
    bool ok = patchbuild::BuildPatch(argv[1], argv[2], argv[3], options, &stats, &error);
    for (const std::string& s : stats.skipped)
        fprintf(stderr, "mkpatch: skipped (not a file or folder): %s\n", s.c_str());
    if (!ok) {
        fprintf(stderr, "mkpatch: %s\n", error.c_str());
        return 1;
    }
    printf(
        "%s: %llu bytes; %u changed, %u added, %u removed, %u unchanged; %u folders made, %u removed; "
        "%u delta, %u x86, %u stored\n",
        argv[3], (unsigned long long)stats.fileBytes, stats.changed, stats.added, stats.removedFiles, stats.unchanged,
        stats.madeFolders, stats.removedFolders, stats.deltas, stats.x86, stats.stored);
    return 0;
}
