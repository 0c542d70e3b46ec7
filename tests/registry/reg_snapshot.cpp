#include "reg_snapshot.h"
#include <gtest/gtest.h>
#include <vector>

static void SnapshotKey(HKEY key, const std::string& label, RegSnapshot& out) {
    DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values,
                         &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    out[label + "\\"] = RegEntry{REG_NONE, ""};
    std::vector<char> name(maxName + 2 > 16385 ? maxName + 2 : 16385);
    std::vector<BYTE> data(maxData + 16);
    for (DWORD i = 0;; ++i) {
        DWORD nl = static_cast<DWORD>(name.size()), dl = static_cast<DWORD>(data.size()), type = 0;
        LONG rc = RegEnumValueA(key, i, name.data(), &nl, nullptr, &type, data.data(), &dl);
        if (rc == ERROR_MORE_DATA) { data.resize(dl + 16); --i; continue; }
        if (rc != ERROR_SUCCESS) break;
        out[label + ":" + std::string(name.data(), nl)] =
            RegEntry{type, std::string(reinterpret_cast<char*>(data.data()), dl)};
    }
    std::vector<char> sub(maxSub + 2 > 512 ? maxSub + 2 : 512);
    for (DWORD i = 0;; ++i) {
        DWORD sl = static_cast<DWORD>(sub.size());
        if (RegEnumKeyExA(key, i, sub.data(), &sl, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY child;
        if (RegOpenKeyExA(key, sub.data(), 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        SnapshotKey(child, label + "\\" + std::string(sub.data(), sl), out);
        RegCloseKey(child);
    }
}

void SnapshotTree(HKEY root, const char* label, const char* path, RegSnapshot& out) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    std::string l = label;
    if (*path) l += std::string("\\") + path;
    SnapshotKey(key, l, out);
    RegCloseKey(key);
}

RegSnapshot SnapshotAll() {
    RegSnapshot s;
    SnapshotTree(HKEY_CLASSES_ROOT, "HKCR", "", s);
    SnapshotTree(HKEY_CURRENT_USER, "HKCU", "", s);
    SnapshotTree(HKEY_LOCAL_MACHINE, "HKLM", "", s);
    SnapshotTree(HKEY_USERS, "HKU", "", s);
    return s;
}

RegSnapshot Changes(const RegSnapshot& before, const RegSnapshot& after) {
    RegSnapshot d;
    for (const auto& a : after) {
        auto b = before.find(a.first);
        if (b == before.end() || b->second != a.second) d[a.first] = a.second;
    }
    for (const auto& b : before)
        if (!after.count(b.first)) d[b.first] = RegEntry{0xFFFFFFFF, ""};
    return d;
}

void PutValue(HKEY root, const char* key, const char* name, DWORD type, const std::string& data) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS) << key;
    // A NUL right after the bytes would be counted into text data: guard it.
    std::string guarded = data + '\x01';
    EXPECT_EQ(RegSetValueExA(k, name, 0, type, reinterpret_cast<const BYTE*>(guarded.data()),
                             static_cast<DWORD>(data.size())), ERROR_SUCCESS) << key << ":" << name;
    RegCloseKey(k);
}

void PutText(HKEY root, const char* key, const char* name, const std::string& text) {
    PutValue(root, key, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

bool ReadValue(HKEY root, const char* key, const char* name, RegEntry& out) {
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    DWORD type = 0, bytes = 0;
    LONG rc = RegQueryValueExA(k, name, nullptr, &type, nullptr, &bytes);
    std::vector<BYTE> data(bytes + 1);
    if (rc == ERROR_SUCCESS) rc = RegQueryValueExA(k, name, nullptr, &type, data.data(), &bytes);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS) return false;
    out = RegEntry{type, std::string(reinterpret_cast<char*>(data.data()), bytes)};
    return true;
}

bool KeyExists(HKEY root, const char* key) {
    HKEY k;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

void DeleteTree(HKEY root, const char* key) {
    RegDeleteTreeA(root, key);
    RegDeleteKeyA(root, key);
}
