#include "reg_snapshot.h"
#include <gtest/gtest.h>
#include <vector>
#include "platform/account.h"

std::wstring Wide(const std::string& s) {
    if (s.empty()) return std::wstring();
    std::wstring w(s.size(), L'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], static_cast<int>(w.size()));
    w.resize(static_cast<size_t>(n > 0 ? n : 0));
    return w;
}

static std::string Narrow(const wchar_t* w, size_t n) {
    if (n == 0) return std::string();
    std::string s(3 * n, '\0');
    int b =
        WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(n), &s[0], static_cast<int>(s.size()), nullptr, nullptr);
    s.resize(static_cast<size_t>(b > 0 ? b : 0));
    return s;
}

std::string Utf16(const std::string& utf8, bool nul) {
    std::wstring w = Wide(utf8);
    if (nul) w.push_back(L'\0');
    return std::string(reinterpret_cast<const char*>(w.data()), w.size() * sizeof(wchar_t));
}

static void SnapshotKey(HKEY key, const std::string& label, RegSnapshot& out) {
    DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values, &maxName, &maxData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return;
    out[label + "\\"] = RegEntry{REG_NONE, ""};
    std::vector<wchar_t> name(16385);
    std::vector<BYTE> data(maxData + 16);
    for (DWORD i = 0;; ++i) {
        DWORD nl = static_cast<DWORD>(name.size()), dl = static_cast<DWORD>(data.size()), type = 0;
        LONG rc = RegEnumValueW(key, i, name.data(), &nl, nullptr, &type, data.data(), &dl);
        if (rc == ERROR_MORE_DATA) {
            data.resize(dl + 16);
            --i;
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        out[label + ":" + Narrow(name.data(), nl)] =
            RegEntry{type, std::string(reinterpret_cast<char*>(data.data()), dl)};
    }
    std::vector<wchar_t> sub(16385);
    for (DWORD i = 0;; ++i) {
        DWORD sl = static_cast<DWORD>(sub.size());
        if (RegEnumKeyExW(key, i, sub.data(), &sl, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child;
        if (RegOpenKeyExW(key, sub.data(), REG_OPTION_OPEN_LINK, KEY_READ, &child) != ERROR_SUCCESS) continue;
        SnapshotKey(child, label + "\\" + Narrow(sub.data(), sl), out);
        RegCloseKey(child);
    }
}

void SnapshotTree(HKEY root, const char* label, const char* path, RegSnapshot& out) {
    HKEY key;
    if (RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
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

RegSnapshot SnapshotStores() {
    RegSnapshot s;
    SnapshotTree(HKEY_CURRENT_USER, "HKCU", "", s);
    SnapshotTree(HKEY_LOCAL_MACHINE, "HKLM", "", s);
    std::string sid;
    EXPECT_TRUE(platform::CurrentUserSid(sid));
    wchar_t hive[256];
    for (DWORD i = 0, n = 256; RegEnumKeyExW(HKEY_USERS, i, hive, &n, nullptr, nullptr, nullptr, nullptr) == 0;
         ++i, n = 256) {
        std::string name = Narrow(hive, n);
        if (name != sid && name != std::string(sid) + "_Classes") SnapshotTree(HKEY_USERS, "HKU", name.c_str(), s);
    }
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
    ASSERT_EQ(RegCreateKeyExW(root, Wide(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS)
        << key;
    // A NUL unit right after text would be counted into it: guard it.
    std::string guarded = data + "\x01\x01";
    EXPECT_EQ(RegSetValueExW(k, Wide(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(guarded.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS)
        << key << ":" << name;
    RegCloseKey(k);
}

void PutLink(const char* key, const char* target) {
    std::string sid;
    ASSERT_TRUE(platform::CurrentUserSid(sid));
    std::string to = Utf16(std::string("\\Registry\\User\\") + sid + "\\" + target, false);
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Wide(key).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &k, nullptr),
              ERROR_SUCCESS)
        << key;
    EXPECT_EQ(RegSetValueExW(k, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(to.data()),
                             static_cast<DWORD>(to.size())),
              ERROR_SUCCESS);
    RegCloseKey(k);
}

void PutText(HKEY root, const char* key, const char* name, const std::string& text) {
    PutValue(root, key, name, REG_SZ, Utf16(text));
}

bool ReadValue(HKEY root, const char* key, const char* name, RegEntry& out) {
    HKEY k;
    if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    DWORD type = 0, bytes = 0;
    std::wstring n = Wide(name);
    LONG rc = RegQueryValueExW(k, n.c_str(), nullptr, &type, nullptr, &bytes);
    std::vector<BYTE> data(bytes + 1);
    if (rc == ERROR_SUCCESS) rc = RegQueryValueExW(k, n.c_str(), nullptr, &type, data.data(), &bytes);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS) return false;
    out = RegEntry{type, std::string(reinterpret_cast<char*>(data.data()), bytes)};
    return true;
}

bool KeyExists(HKEY root, const char* key) {
    HKEY k;
    if (RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

// Link keys below `key` go as themselves: RegDeleteTreeW would delete what
// they point to.
void DeleteTree(HKEY root, const char* key) {
    HKEY k;
    if (RegOpenKeyExW(root, Wide(key).c_str(), REG_OPTION_OPEN_LINK, KEY_READ | DELETE, &k) != ERROR_SUCCESS) return;
    DWORD type = 0;
    bool link = RegQueryValueExW(k, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
                type == REG_LINK;
    std::vector<std::string> subs;
    wchar_t sub[256];
    for (DWORD i = 0, n = 256; !link && RegEnumKeyExW(k, i, sub, &n, nullptr, nullptr, nullptr, nullptr) == 0;
         ++i, n = 256)
        subs.push_back(Narrow(sub, n));
    for (const std::string& s : subs) DeleteTree(root, (std::string(key) + "\\" + s).c_str());
    RegDeleteKeyW(k, L"");
    RegCloseKey(k);
}
