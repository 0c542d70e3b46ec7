#include "scratch.h"
#include <fstream>
#include <sstream>

std::string FreshFolder(const std::string& name) {
    char cwd[MAX_PATH];
    ::GetCurrentDirectoryA(sizeof cwd, cwd);
    std::string path = std::string(cwd) + "\\" + name;
    RemoveTree(path);
    ::CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string n = fd.cFileName;
            if (n == "." || n == "..") continue;
            std::string child = path + "\\" + n;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                ::DeleteFileA(child.c_str());
        } while (::FindNextFileA(h, &fd));
        ::FindClose(h);
    }
    ::RemoveDirectoryA(path.c_str());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return "<missing>";
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Le32(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((u >> (8 * i)) & 0xff);
    return s;
}

std::string RawBlock(const std::string& head, const std::string& payload, const std::string& tail,
                     int32_t length) {
    return head + payload + tail + Le32(length);
}

std::string Block(const std::string& tag, const std::string& payload) {
    return RawBlock(tag, payload, tag, static_cast<int32_t>(payload.size() + 12));
}

std::string Image() { return std::string("MZ\x90\x00image", 9) + std::string(16, '\0'); }

std::string Filler(size_t n, unsigned char seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(0x80 | ((seed + i * 7) & 0x3f));
    return s;
}
