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

// The disk below `root`, as the chain analysis asks for it.
class FolderView : public core::chain::TreeView {
public:
    FolderView(std::string root, std::vector<std::string>* held) : root_(std::move(root)), held_(held) {}

    core::chain::Found Look(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA a;
        core::chain::Found f{core::chain::Found::absent, 0};
        if (!platform::Attributes(JoinPath(root_, path).c_str(), &a)) {
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

    bool Hash(const std::string& path, uint8_t sha[32]) override {
        platform::Handle file;
        std::string full = JoinPath(root_, path);
        if (!platform::OpenReadSharing(full.c_str(), file)) {
            DWORD e = platform::LastError();
            if (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION) held_->push_back(full);
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

private:
    std::string root_;
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
    FolderView tree(installFolder, held), shared(sharedFolder, held);
    return core::chain::Analyze(steps, tree, sharedFolder.empty() ? nullptr : &shared);
}

}  // namespace payload
