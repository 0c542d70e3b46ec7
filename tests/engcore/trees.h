// Folder trees for the builder's round-trip tests: made from a fixed seed,
// copied, compared, in scratch folders under the build folder.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

namespace enginetest {

namespace fs = std::filesystem;

inline fs::path Scratch(const std::string& name) {
    fs::path p = fs::path(ENGCORE_SCRATCH) / name;
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

inline std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline void WriteAll(const fs::path& p, const std::string& s) {
    fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(s.data(), std::streamsize(s.size()));
}

// Relative path -> content, with "/" marking folders.
inline std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> m;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::string rel = fs::relative(e.path(), root).generic_string();
        m[rel] = e.is_directory() ? std::string("/") : ReadAll(e.path());
    }
    return m;
}

inline void ExpectSameTree(const fs::path& a, const fs::path& b) {
    auto ma = Snapshot(a), mb = Snapshot(b);
    for (const auto& [path, content] : mb)
        EXPECT_TRUE(ma.count(path) && ma[path] == content) << "missing or differs: " << path;
    for (const auto& kv : ma) EXPECT_TRUE(mb.count(kv.first)) << "extra " << kv.first;
}

// Content that looks like a program: runs of structure with repeats, so
// deltas have something to find.
inline std::string Content(std::mt19937& rng, size_t n) {
    std::string s;
    s.reserve(n);
    while (s.size() < n) {
        switch (rng() % 3) {
        case 0:
            for (int i = 0; i < 32; i++) s += char(rng());
            break;
        case 1: s += "call function_" + std::to_string(rng() % 50) + "; "; break;
        default:
            if (!s.empty()) s += s.substr(rng() % s.size(), 40);
        }
    }
    s.resize(n);
    return s;
}

// A changed version: bytes altered, runs inserted and removed.
inline std::string Edit(std::mt19937& rng, std::string s) {
    for (int k = int(rng() % 6); k >= 0; k--) {
        size_t at = s.empty() ? 0 : rng() % s.size();
        switch (rng() % 3) {
        case 0:
            if (!s.empty()) s[at] = char(s[at] + 1 + rng() % 5);
            break;
        case 1: s.insert(at, Content(rng, rng() % 300)); break;
        default: s.erase(at, rng() % 200);
        }
    }
    return s;
}

}  // namespace enginetest
