#include "tree.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "patchfile.h"

namespace patchbuild {

namespace {

bool ListFolder(const std::string& disk, std::vector<std::string>* names, std::string* error) {
    DIR* dir = opendir(disk.c_str());
    if (dir == nullptr) {
        *error = disk + ": " + strerror(errno);
        return false;
    }
    while (dirent* d = readdir(dir)) {
        if (strcmp(d->d_name, ".") != 0 && strcmp(d->d_name, "..") != 0) names->push_back(d->d_name);
    }
    closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
}

bool Walk(const std::string& root, const std::string& rel, std::vector<TreeItem>* items,
          std::vector<std::string>* skipped, std::string* error) {
    std::vector<std::string> names;
    if (!ListFolder(rel.empty() ? root : DiskPath(root, rel), &names, error)) return false;
    for (const std::string& name : names) {
        if (name.find('\\') != std::string::npos) {
            *error = DiskPath(root, rel) + "/" + name + ": a name with '\\' cannot be carried";
            return false;
        }
        std::string path = rel.empty() ? name : rel + "\\" + name;
        if (!core::patchfile::IsSafeRelativePath(path)) {
            *error = DiskPath(root, path) + ": name not allowed in a patch file";
            return false;
        }
        struct stat st;
        if (lstat(DiskPath(root, path).c_str(), &st) != 0) {
            *error = DiskPath(root, path) + ": " + strerror(errno);
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            items->push_back({path, true, 0});
            if (!Walk(root, path, items, skipped, error)) return false;
        } else if (S_ISREG(st.st_mode)) {
            items->push_back({path, false, uint64_t(st.st_size)});
        } else {
            skipped->push_back(DiskPath(root, path));
        }
    }
    return true;
}

}  // namespace

std::string DiskPath(const std::string& root, const std::string& itemPath) {
    std::string p = root + "/" + itemPath;
    std::replace(p.begin() + long(root.size()), p.end(), '\\', '/');
    return p;
}

bool ReadTree(const std::string& root, std::vector<TreeItem>* items, std::vector<std::string>* skipped,
              std::string* error) {
    items->clear();
    return Walk(root, "", items, skipped, error);
}

}  // namespace patchbuild
