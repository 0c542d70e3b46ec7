// Prints how long the tree walks take on a tree of the installation's kind
// (here 20 folders of 100 files of 16 KB, under the prefix's temp folder).
// Not a test: run it by hand, e.g. cmake/wine-run.sh migrate_tree_bench.exe.
#include <chrono>
#include <cstdio>
#include <string>
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/handles.h"
#include "platform/msgbox.h"

static int CountBox(HWND, const char*, const char*, UINT) {
    std::printf("unexpected message box\n");
    return IDOK;
}

static void MakeTree(const std::string& root, int folders, int files, size_t size) {
    std::string bytes(size, 'k');
    platform::CreateFolder(root.c_str());
    for (int f = 0; f < folders; ++f) {
        std::string dir = root + "\\folder" + std::to_string(f);
        platform::CreateFolder(dir.c_str());
        for (int i = 0; i < files; ++i) {
            platform::Handle h;
            std::string path = dir + "\\file" + std::to_string(i) + ".dat";
            if (platform::CreateNew(path.c_str(), h)) platform::Write(h.Get(), bytes.data(), static_cast<DWORD>(size));
        }
    }
}

template <class F>
static double Seconds(F f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main() {
    char tmp[MAX_PATH + 1];
    if (!platform::EnvironmentValue("TMP", tmp, sizeof tmp)) return 1;
    platform::SetMessageHook(CountBox);
    std::string base = std::string(tmp) + "\\dv-migrate-bench";
    DeleteTree(base.c_str());
    platform::CreateFolder(base.c_str());
    const int folders = 20, files = 100;
    const size_t size = 16384;
    std::string src = base + "\\src", copy = base + "\\copy", moved = base + "\\moved";
    MakeTree(src, folders, files, size);
    platform::CreateFolder(copy.c_str());
    platform::CreateFolder(moved.c_str());
    double tc = Seconds([&] { CopyOrMoveTree(src.c_str(), copy.c_str(), true); });
    double tm = Seconds([&] { CopyOrMoveTree(copy.c_str(), moved.c_str(), false); });
    double td = Seconds([&] { DeleteTree(moved.c_str()); });
    std::printf("%d files of %zu bytes in %d folders\n", folders * files, size, folders);
    std::printf("copy   %.3f s\nmove   %.3f s\ndelete %.3f s\n", tc, tm, td);
    DeleteTree(base.c_str());
    return 0;
}
