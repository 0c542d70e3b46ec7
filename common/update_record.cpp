#include "common/update_record.h"
#include <shlobj.h>
#include <cstdio>
#include <cstdlib>
#include "common/path.h"
#include "common/record_guard.h"
#include "engine/core/sha256.h"
#include "platform/dir.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_replace.h"
#include "platform/security.h"
#include "platform/shell.h"

namespace common {

namespace {

const char kHeader[] = "Dovetra 5.0.3 update record 1";
const char kFolder[] = "Dovetra 5.0.3 Update";
const char kFile[] = "update.txt";
const char kWork[] = "update.new";
const char kHashKey[] = "sha256=";
// A record is a few hundred bytes; anything much larger is not one.
const int64_t kMaxRecordBytes = 1 << 20;

const char* const kPhaseKeys[] = {"shared-copy", "step-1",    "step-2",   "step-3",   "move",
                                  "renames",     "shortcuts", "registry", "leftovers"};
static_assert(sizeof kPhaseKeys / sizeof kPhaseKeys[0] == static_cast<size_t>(Phase::kCount), "a key per phase");

std::string Hashed(const std::string& body) { return kHashKey + core::sha256::Of(body.data(), body.size()).Hex(); }

// Splits "key=value"; false for a line without "=".
bool Split(const std::string& line, std::string* key, std::string* value) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    *key = line.substr(0, eq);
    *value = line.substr(eq + 1);
    return true;
}

bool DecodeDone(const std::string& value, uint32_t* done) {
    *done = 0;
    size_t at = 0;
    while (at < value.size()) {
        size_t comma = value.find(',', at);
        std::string key = value.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        int found = -1;
        for (int p = 0; p < static_cast<int>(Phase::kCount); ++p)
            if (key == kPhaseKeys[p]) found = p;
        if (found < 0) return false;
        *done |= 1u << found;
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return true;
}

bool DecodeLine(const std::string& key, const std::string& value, UpdateRecord* r) {
    if (key == "install") {
        r->installFolder = value;
    } else if (key == "shared") {
        r->sharedFolder = value;
    } else if (key == "final") {
        r->finalInstallFolder = value;
    } else if (key == "relocate") {
        if (value != "0" && value != "1") return false;
        r->relocate = value == "1";
    } else if (key == "short") {
        size_t bar = value.find('|');  // no Windows path holds "|"
        if (bar == std::string::npos) return false;
        r->shortForms.emplace_back(value.substr(0, bar), value.substr(bar + 1));
    } else if (key == "preferences") {
        char* end = nullptr;
        unsigned long v = std::strtoul(value.c_str(), &end, 16);
        if (value.empty() || *end || v > 0xFF) return false;
        r->preferenceCopies = static_cast<unsigned>(v);
    } else if (key == "done") {
        return DecodeDone(value, &r->done);
    } else {
        return false;
    }
    return true;
}

bool WriteAt(const std::string& path, const std::string& text) {
    std::string folder = FolderOf(path), work = JoinPath(folder, kWork);
    // An existing folder (an earlier record's) must be an administrator's.
    if (!platform::CreateAdminFolder(folder.c_str()) &&
        (!platform::IsFolder(folder.c_str()) || !RightsProblem(folder).empty())) {
        platform::SetLastErrorCode(ERROR_ACCESS_DENIED);
        return false;
    }
    platform::DeleteFileAt(work.c_str());  // a stale one of ours
    platform::Handle file;
    bool ok = platform::CreateNew(work.c_str(), file) &&
              platform::Write(file.Get(), text.data(), static_cast<DWORD>(text.size())) && platform::Flush(file.Get());
    file.Reset();
    if (ok && platform::MoveFileReplacing(work.c_str(), path.c_str())) return true;
    DWORD error = platform::LastError();
    platform::DeleteFileAt(work.c_str());
    platform::SetLastErrorCode(error);
    return false;
}

}  // namespace

const char* PhaseKey(Phase p) {
    int i = static_cast<int>(p);
    return i >= 0 && i < static_cast<int>(Phase::kCount) ? kPhaseKeys[i] : "done";
}

Phase UpdateRecord::Next() const {
    for (int p = 0; p < static_cast<int>(Phase::kCount); ++p)
        if (!Done(static_cast<Phase>(p))) return static_cast<Phase>(p);
    return Phase::kCount;
}

std::string EncodeRecord(const UpdateRecord& r) {
    std::string body = std::string(kHeader) + "\r\n";
    body += "install=" + r.installFolder + "\r\n";
    body += "shared=" + r.sharedFolder + "\r\n";
    body += "final=" + r.finalInstallFolder + "\r\n";
    body += std::string("relocate=") + (r.relocate ? "1" : "0") + "\r\n";
    for (const auto& s : r.shortForms) body += "short=" + s.first + "|" + s.second + "\r\n";
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", r.preferenceCopies);
    body += std::string("preferences=") + hex + "\r\n";
    std::string done;
    for (int p = 0; p < static_cast<int>(Phase::kCount); ++p)
        if (r.Done(static_cast<Phase>(p))) done += (done.empty() ? "" : ",") + std::string(kPhaseKeys[p]);
    body += "done=" + done + "\r\n";
    return body + Hashed(body) + "\r\n";
}

bool DecodeRecord(const std::string& text, UpdateRecord* out) {
    // The hash line is the last line; it covers every byte before it.
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) return false;
    size_t last = text.rfind("\r\n", text.size() - 3);
    if (last == std::string::npos) return false;
    std::string body = text.substr(0, last + 2), hashLine = text.substr(last + 2, text.size() - last - 4);
    if (hashLine != Hashed(body)) return false;
    UpdateRecord r;
    bool header = false, install = false, shared = false, final = false, done = false;
    size_t at = 0;
    for (size_t nl; (nl = body.find("\r\n", at)) != std::string::npos; at = nl + 2) {
        std::string line = body.substr(at, nl - at), key, value;
        if (!header) {
            if (line != kHeader) return false;
            header = true;
            continue;
        }
        if (!Split(line, &key, &value) || !DecodeLine(key, value, &r)) return false;
        install |= key == "install";
        shared |= key == "shared";
        final |= key == "final";
        done |= key == "done";
    }
    if (!header || !install || !shared || !final || !done) return false;
    if (!IsFullPath(r.installFolder) || !IsFullPath(r.sharedFolder) || !IsFullPath(r.finalInstallFolder)) return false;
    *out = r;
    return true;
}

std::vector<std::string> RecordPlaces() {
    std::vector<std::string> places;
    for (int csidl : {CSIDL_COMMON_APPDATA, CSIDL_LOCAL_APPDATA}) {
        std::string folder;
        if (platform::SpecialFolderPath(nullptr, csidl, folder) && !folder.empty())
            places.push_back(JoinPath(JoinPath(folder, kFolder), kFile));
    }
    return places;
}

RecordState FindRecord(UpdateRecord* out, std::string* path, std::string* why) {
    path->clear();
    why->clear();
    for (const std::string& place : RecordPlaces()) {
        if (!platform::PathExists(place.c_str())) continue;
        *path = place;
        *why = RecordRightsProblem(place);
        if (!why->empty()) return RecordState::kDamaged;
        std::string text;
        UpdateRecord r;
        if (!platform::ReadWholeFile(place.c_str(), kMaxRecordBytes, text) || !DecodeRecord(text, &r)) {
            *why = "it cannot be read";
            return RecordState::kDamaged;
        }
        *why = RecordContentsProblem(r, ProcessSystemFolders());
        if (!why->empty()) return RecordState::kDamaged;
        *out = r;
        return RecordState::kFound;
    }
    return RecordState::kNone;
}

bool SaveRecord(const UpdateRecord& r, std::string* path) {
    std::string text = EncodeRecord(r);
    if (!path->empty()) return WriteAt(*path, text);
    DWORD error = ERROR_PATH_NOT_FOUND;
    for (const std::string& place : RecordPlaces()) {
        if (WriteAt(place, text)) {
            *path = place;
            return true;
        }
        error = platform::LastError();
    }
    platform::SetLastErrorCode(error);
    return false;
}

bool RemoveRecord(const std::string& path) {
    if (path.empty()) return true;
    platform::DeleteFileAt(path.c_str());
    platform::RemoveFolder(FolderOf(path).c_str());  // unless something else is in it
    return !platform::PathExists(path.c_str());
}

}  // namespace common
