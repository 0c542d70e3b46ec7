// pack: appends the payload container to the built updater and inspects it.
//   pack append UPDATER.exe OUT.exe TAG=FILE...   copy the updater, append blocks in order
//   pack append FILE TAG=FILE...                  the same, in place
//   pack list FILE                                tag, block offset, payload length, from the end
//   pack check FILE TAG...                        exit 0 when sound and every tag is found
// Exit codes: 0 success, 1 the container is damaged or a tag is missing,
// 2 bad usage or an unreadable/unwritable file.
#include <cstdio>
#include <fstream>
#include <sstream>
#include "container.h"
#include "packer.h"

namespace {

bool ReadFile(const std::string& path, std::string* out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream s;
    s << f.rdbuf();
    *out = s.str();
    return !f.bad();
}

// Writes beside the target and renames, so a failed run leaves no half file.
bool WriteFile(const std::string& path, const std::string& bytes) {
    std::string tmp = path + ".part";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!f.flush()) { std::remove(tmp.c_str()); return false; }
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: pack append UPDATER.exe OUT.exe TAG=FILE...\n"
                 "       pack append FILE TAG=FILE...   (in place)\n"
                 "       pack list FILE\n"
                 "       pack check FILE TAG...\n");
    return 2;
}

// True when `arg` reads as TAG=FILE: then it is no output name.
bool LooksLikeEntry(const char* arg) {
    std::string tag, file, error;
    return pack::ParseEntry(arg, &tag, &file, &error);
}

int Append(int argc, char** argv) {
    if (argc < 4) return Usage();
    // Without an output name the file itself receives the blocks.
    bool inPlace = LooksLikeEntry(argv[3]);
    const char* outPath = inPlace ? argv[2] : argv[3];
    int first = inPlace ? 3 : 4;
    if (first >= argc) return Usage();
    std::string image, error;
    if (!ReadFile(argv[2], &image)) { std::fprintf(stderr, "pack: cannot read %s\n", argv[2]); return 2; }
    std::vector<pack::Entry> entries;
    for (int i = first; i < argc; ++i) {
        std::string tag, file;
        if (!pack::ParseEntry(argv[i], &tag, &file, &error)) { std::fprintf(stderr, "pack: %s\n", error.c_str()); return 2; }
        pack::Entry e{tag, {}};
        if (!ReadFile(file, &e.payload)) { std::fprintf(stderr, "pack: cannot read %s\n", file.c_str()); return 2; }
        entries.push_back(std::move(e));
    }
    std::string out;
    bool padded = false;
    if (!pack::BuildContainer(image, entries, &out, &padded, &error)) { std::fprintf(stderr, "pack: %s\n", error.c_str()); return 2; }
    if (padded) std::fprintf(stderr, "pack: image ends like a trailer; 8 zero bytes put before the first block\n");
    if (!WriteFile(outPath, out)) { std::fprintf(stderr, "pack: cannot write %s\n", outPath); return 2; }
    return 0;
}

bool Walked(const char* path, pack::Walk* w) {
    std::ifstream f(path, std::ios::binary);
    if (!f) { std::fprintf(stderr, "pack: cannot read %s\n", path); return false; }
    *w = pack::WalkContainer(f);
    return true;
}

bool Sound(const pack::Walk& w) { return w.end == pack::WalkEnd::NotATrailer && !w.blocks.empty(); }

int List(int argc, char** argv) {
    if (argc != 3) return Usage();
    pack::Walk w;
    if (!Walked(argv[2], &w)) return 2;
    for (const pack::BlockInfo& b : w.blocks)
        std::printf("%-4s %12lld %12lld\n", b.tag.c_str(), static_cast<long long>(b.offset),
                    static_cast<long long>(b.payloadLength));
    std::printf("%zu blocks; walk stopped at offset %lld: %s\n", w.blocks.size(),
                static_cast<long long>(w.endOffset), pack::Describe(w.end));
    return Sound(w) ? 0 : 1;
}

int Check(int argc, char** argv) {
    if (argc < 4) return Usage();
    pack::Walk w;
    if (!Walked(argv[2], &w)) return 2;
    int rc = 0;
    if (!Sound(w)) {
        std::fprintf(stderr, "pack: %s: %s\n", argv[2], w.blocks.empty() ? "no blocks" : pack::Describe(w.end));
        rc = 1;
    }
    for (int i = 3; i < argc; ++i) {
        if (!pack::FindBlock(w, argv[i])) {
            std::fprintf(stderr, "pack: %s: no block %s\n", argv[2], argv[i]);
            rc = 1;
        }
    }
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    if (cmd == "append") return Append(argc, argv);
    if (cmd == "list") return List(argc, argv);
    if (cmd == "check") return Check(argc, argv);
    return Usage();
}
