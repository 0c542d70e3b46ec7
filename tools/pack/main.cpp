// pack: appends the payload container to the built updater and inspects it.
//   pack append UPDATER.exe OUT.exe TAG=FILE...   copy the updater, append blocks in order
//   pack append FILE TAG=FILE...                  the same, in place
//   pack list FILE                                tag, block offset, payload length, from the end
//                                                 (and the certificate table's offset when signed)
//   pack check FILE TAG...                        exit 0 when sound and every tag is found
//   pack sign --cert CERT.pem --key KEY.pem IN.exe OUT.exe
//       Authenticode-signs a packed updater with Debian's osslsigncode (on
//       the PATH; SHA-256; the key unencrypted PEM). First aligns the file
//       to 8 bytes by zero bytes before its first block, so that the
//       certificate table follows the last block directly; then checks that
//       the signed file's walk finds the same blocks.
// Exit codes: 0 success, 1 the container is damaged or a tag is missing (for
// sign: the input's container is not sound, or the signed file's differs),
// 2 bad usage, an unreadable/unwritable file, or osslsigncode failed.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include "container.h"
#include "packer.h"

namespace {

// The whole of a regular file: a folder (which opens for reading here) or a
// short read is an error, never an empty or cut payload.
bool ReadFile(const std::string& path, std::string* out) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out->assign(static_cast<size_t>(st.st_size), '\0');
    f.read(&(*out)[0], static_cast<std::streamsize>(out->size()));
    return f.gcount() == static_cast<std::streamsize>(out->size()) && f.peek() == std::ifstream::traits_type::eof();
}

// Writes beside the target and renames, so a failed run leaves no half file.
bool WriteFile(const std::string& path, const std::string& bytes) {
    std::string tmp = path + ".part";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!f.flush()) {
            std::remove(tmp.c_str());
            return false;
        }
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: pack append UPDATER.exe OUT.exe TAG=FILE...\n"
                 "       pack append FILE TAG=FILE...   (in place)\n"
                 "       pack list FILE\n"
                 "       pack check FILE TAG...\n"
                 "       pack sign --cert CERT.pem --key KEY.pem IN.exe OUT.exe\n");
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
    if (!ReadFile(argv[2], &image)) {
        std::fprintf(stderr, "pack: cannot read %s\n", argv[2]);
        return 2;
    }
    std::vector<pack::Entry> entries;
    for (int i = first; i < argc; ++i) {
        std::string tag, file;
        if (!pack::ParseEntry(argv[i], &tag, &file, &error)) {
            std::fprintf(stderr, "pack: %s\n", error.c_str());
            return 2;
        }
        pack::Entry e{tag, {}};
        if (!ReadFile(file, &e.payload)) {
            std::fprintf(stderr, "pack: cannot read %s\n", file.c_str());
            return 2;
        }
        entries.push_back(std::move(e));
    }
    std::string out;
    bool padded = false;
    if (!pack::BuildContainer(image, entries, &out, &padded, &error)) {
        std::fprintf(stderr, "pack: %s\n", error.c_str());
        return 2;
    }
    if (padded) std::fprintf(stderr, "pack: image ends like a trailer; 8 zero bytes put before the first block\n");
    if (!WriteFile(outPath, out)) {
        std::fprintf(stderr, "pack: cannot write %s\n", outPath);
        return 2;
    }
    return 0;
}

bool Walked(const char* path, pack::Walk* w) {
    std::string bytes;
    if (!ReadFile(path, &bytes)) {
        std::fprintf(stderr, "pack: cannot read %s\n", path);
        return false;
    }
    *w = pack::WalkContainer(bytes);
    return true;
}

int List(int argc, char** argv) {
    if (argc != 3) return Usage();
    pack::Walk w;
    if (!Walked(argv[2], &w)) return 2;
    for (const core::container::Block& b : w.blocks)
        std::printf("%-4s %12lld %12lld\n", b.tag, static_cast<long long>(b.offset), static_cast<long long>(b.payload));
    if (w.table >= 0) std::printf("signed: certificate table at offset %lld\n", static_cast<long long>(w.table));
    std::printf("%zu blocks; walk stopped at offset %lld: %s\n", w.blocks.size(), static_cast<long long>(w.endOffset),
                pack::Describe(w.end));
    return pack::Sound(w) ? 0 : 1;
}

int Check(int argc, char** argv) {
    if (argc < 4) return Usage();
    pack::Walk w;
    if (!Walked(argv[2], &w)) return 2;
    int rc = 0;
    if (!pack::Sound(w)) {
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

// Runs a program found on the PATH and waits for it; true when it exits 0.
bool Run(const std::vector<const char*>& args) {
    std::vector<char*> argv;
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SameBlocks(const pack::Walk& a, const pack::Walk& b) {
    if (!pack::Sound(a) || !pack::Sound(b) || a.blocks.size() != b.blocks.size()) return false;
    for (size_t i = 0; i < a.blocks.size(); ++i) {
        const core::container::Block &x = a.blocks[i], &y = b.blocks[i];
        if (std::memcmp(x.tag, y.tag, 4) != 0 || x.offset != y.offset || x.payload != y.payload) return false;
    }
    return true;
}

int Sign(int argc, char** argv) {
    if (argc != 8 || std::strcmp(argv[2], "--cert") != 0 || std::strcmp(argv[4], "--key") != 0) return Usage();
    const char *cert = argv[3], *key = argv[5], *in = argv[6], *out = argv[7];
    std::string packed, aligned, error;
    if (!ReadFile(in, &packed)) {
        std::fprintf(stderr, "pack: cannot read %s\n", in);
        return 2;
    }
    if (!pack::AlignForSigning(packed, &aligned, &error)) {
        std::fprintf(stderr, "pack: %s: %s\n", in, error.c_str());
        return 1;
    }
    std::string unsignedPath = std::string(out) + ".unsigned", signedPath = std::string(out) + ".signed";
    std::remove(signedPath.c_str());
    if (!WriteFile(unsignedPath, aligned)) {
        std::fprintf(stderr, "pack: cannot write %s\n", unsignedPath.c_str());
        return 2;
    }
    bool ran = Run({"osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256", "-in", unsignedPath.c_str(),
                    "-out", signedPath.c_str()});
    std::remove(unsignedPath.c_str());
    if (!ran) {
        std::fprintf(stderr, "pack: osslsigncode failed to sign %s\n", in);
        std::remove(signedPath.c_str());
        return 2;
    }
    std::string signedBytes;
    pack::Walk w{};
    if (ReadFile(signedPath, &signedBytes)) w = pack::WalkContainer(signedBytes);
    if (signedBytes.empty() || w.table < 0 || !SameBlocks(pack::WalkContainer(aligned), w)) {
        std::fprintf(stderr, "pack: the signed file's walk does not find the blocks of %s\n", in);
        std::remove(signedPath.c_str());
        return 1;
    }
    if (std::rename(signedPath.c_str(), out) != 0) {
        std::fprintf(stderr, "pack: cannot write %s\n", out);
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    if (cmd == "append") return Append(argc, argv);
    if (cmd == "list") return List(argc, argv);
    if (cmd == "check") return Check(argc, argv);
    if (cmd == "sign") return Sign(argc, argv);
    return Usage();
}
