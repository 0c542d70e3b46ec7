// Test helper: extract_tool CARRIER TAG OUT runs the updater's own
// extraction, so a script can check what the host's pack tool wrote.
// Prints the extraction code (ExtractCode as a number) and exits with it.
#include <cstdio>
#include "payload/container.h"

using namespace payload;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: extract_tool CARRIER TAG OUT\n");
        return 100;
    }
    int code = static_cast<int>(ExtractPayloadBlock(argv[1], argv[2], argv[3]));
    std::printf("%d\n", code);
    return code;
}
