#include "payload/patch_chain.h"
#include <memory>
#include "common/path.h"
#include "engine/core/sha256.h"
#include "platform/error.h"
#include "platform/file.h"

namespace payload {
using namespace common;
namespace pf = core::patchfile;

namespace {

// The largest patch file we read whole to check it: far above the three
// this updater carries, far below what a 32-bit process can hold.
const int64_t kMaxPatchBytes = 512LL << 20;

bool ReadTable(const std::string& path, std::vector<pf::Entry>* entries, std::string* why) {
    std::string text;
    if (!platform::ReadWholeFile(path.c_str(), kMaxPatchBytes, text)) {
        *why = "cannot be read";
        return false;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    size_t n = text.size();
    pf::Header h;
    pf::Error e = pf::ParseHeader(bytes, n, n, &h);
    if (e == pf::Error::none) {
        core::sha256::Digest d = core::sha256::Of(bytes + pf::kHashedFrom, n - pf::kHashedFrom);
        if (!std::equal(d.bytes, d.bytes + 32, h.sha256)) e = pf::Error::badData;
    }
    if (e == pf::Error::none) e = pf::ParseTable(bytes + pf::kHeaderSize, h.tableSize, h, entries);
    if (e == pf::Error::none) return true;
    *why = pf::ErrorText(e);
    return false;
}

bool HashFile(const std::string& full, uint8_t sha[32], std::vector<std::string>* held) {
    platform::Handle file;
    if (!platform::OpenReadSharing(full.c_str(), file)) {
        DWORD e = platform::LastError();
        if (held && (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION)) held->push_back(full);
        return false;
    }
    core::sha256::Sha256 h;
    std::unique_ptr<char[]> buf(new char[1 << 16]);
    for (;;) {
        DWORD got = 0;
        if (!platform::Read(file.Get(), buf.get(), 1 << 16, &got)) return false;
        if (got == 0) break;
        h.Update(buf.get(), got);
    }
    core::sha256::Digest d = h.Finish();
    std::copy(d.bytes, d.bytes + 32, sha);
    return true;
}

core::chain::Found LookAt(const std::string& full) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    core::chain::Found f{core::chain::Found::absent, 0};
    if (!platform::Attributes(full.c_str(), &a)) {
        DWORD e = platform::LastError();
        if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) f.kind = core::chain::Found::unreadable;
        return f;
    }
    if (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        f.kind = core::chain::Found::folder;
    } else {
        f.kind = core::chain::Found::file;
        f.size = (static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
    }
    return f;
}

// The disk below `roots`, as the chain analysis asks for it: a path is in
// the first root that holds it, under its own name or else its new one.
class FolderView : public core::chain::TreeView {
public:
    FolderView(std::vector<std::string> roots, NameMap rename, std::vector<std::string>* held)
        : roots_(std::move(roots)), rename_(std::move(rename)), held_(held) {}

    core::chain::Found Look(const std::string& path) override {
        std::string full;
        return Resolve(path, &full);
    }

    bool Hash(const std::string& path, uint8_t sha[32]) override {
        std::string full;
        Resolve(path, &full);
        return HashFile(full, sha, held_);
    }

private:
    core::chain::Found Resolve(const std::string& path, std::string* full) {
        std::vector<std::string> names{path};
        if (rename_) {
            std::string other = rename_(path);
            if (other != path) names.push_back(other);
        }
        core::chain::Found first{core::chain::Found::absent, 0};
        for (const std::string& name : names)
            for (const std::string& root : roots_) {
                std::string at = JoinPath(root, name);
                core::chain::Found f = LookAt(at);
                if (full->empty()) *full = at;
                if (f.kind != core::chain::Found::absent) {
                    *full = at;
                    return f;
                }
            }
        return first;
    }

    std::vector<std::string> roots_;
    NameMap rename_;
    std::vector<std::string>* held_;
};

}  // namespace

bool ReadPatchTables(const std::string& payloadFolder, const PatchStep* steps, int count, PatchTables* out,
                     std::string* why) {
    out->assign(static_cast<size_t>(count), {});
    for (int i = 0; i < count; ++i) {
        std::string fault;
        if (!ReadTable(JoinPath(payloadFolder, steps[i].fileName), &(*out)[i], &fault)) {
            *why = std::string("the patch file ") + steps[i].fileName + " " + fault;
            return false;
        }
    }
    return true;
}

core::chain::Analysis AnalyzeInstallation(const PatchTables& tables, const std::string& installFolder,
                                          const std::string& sharedFolder, std::vector<std::string>* held) {
    std::vector<const std::vector<pf::Entry>*> steps;
    for (const auto& t : tables) steps.push_back(&t);
    FolderView tree({installFolder}, {}, held), shared({sharedFolder}, {}, held);
    return core::chain::Analyze(steps, tree, sharedFolder.empty() ? nullptr : &shared);
}

core::chain::Analysis AnalyzeInstallationIn(const PatchTables& tables, const std::vector<std::string>& roots,
                                            const std::string& sharedFolder, const NameMap& rename,
                                            std::vector<std::string>* held) {
    std::vector<const std::vector<pf::Entry>*> steps;
    for (const auto& t : tables) steps.push_back(&t);
    FolderView tree(roots, rename, held), shared({sharedFolder}, {}, held);
    return core::chain::Analyze(steps, tree, sharedFolder.empty() ? nullptr : &shared);
}

bool LastVersion(const PatchTables& tables, const std::string& path, uint8_t sha[32]) {
    bool found = false;
    for (const auto& table : tables)
        for (const pf::Entry& e : table) {
            if (!PathsEqual(e.path, path)) continue;
            found = e.kind == pf::Kind::changeFile || e.kind == pf::Kind::addFile;
            if (found) std::copy(e.newSha, e.newSha + 32, sha);
        }
    return found;
}

bool FileHasHash(const std::string& fullPath, const uint8_t sha[32]) {
    uint8_t have[32];
    return HashFile(fullPath, have, nullptr) && std::equal(have, have + 32, sha);
}

}  // namespace payload
