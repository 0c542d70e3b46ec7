// Registry migration benchmark. One program, four commands, each run in a
// prefix that run.sh prepares:
//   fill          writes the synthetic registry (10,000 keys, 100,000 values)
//   reference     times the reference migration: three full walks per root
//                 key, keys opened with full access through create-or-open,
//                 256-byte name and data buffers, first occurrence only
//   ours          times MigrateRegistry
//   dump FILE     writes every synthetic value as "key:name<TAB>type<TAB>hex"
//   perkey        times, without the registry, what the walk adds per key
//                 and per value besides server calls: the link check on
//                 each value, the key's path kept for naming it, the stop
//                 check
// The folders are fixed; the data come from a fixed-seed generator, so two
// prefixes filled alike hold the same values.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "common/path.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "platform/reg.h"

using namespace common;
using namespace migrate;

namespace {

const char* kInstall = "C:\\Program Files\\Vantor\\Kestrin 5";
const char* kShared = "C:\\Program Files\\Vantor\\Shared";
const char* kFinal = "C:\\Program Files\\Halvern\\Dovetra 5";
const char* kBenchKey = "Software\\DvBench";
constexpr int kGroups = 100, kKeysPerGroup = 50, kValuesPerKey = 10;  // 2 roots: 10,000 keys

// Fixed-seed generator (numbers from Numerical Recipes' LCG).
struct Lcg {
    unsigned long s;
    unsigned long Next() {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
};

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

// ---- fill ---------------------------------------------------------------

void Set(HKEY key, const std::string& name, DWORD type, const std::string& data) {
    RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
}

std::string Z(const std::string& s) { return std::string(s.c_str(), s.size() + 1); }

// A value that names an old folder. The name tells its class: "ok" values
// are the ones the reference walk handles correctly (one occurrence, at a
// path boundary, short text); the others show the faults it has.
void PutNaming(HKEY key, int slot, Lcg& rng) {
    char n[32];
    std::snprintf(n, sizeof n, "v%02d_", slot);
    std::string file = "file" + std::to_string(rng.Next() % 1000) + ".dll";
    switch (rng.Next() % 10) {
    case 0: Set(key, std::string(n) + "twice", REG_SZ, Z(std::string(kInstall) + "\\a;" + kInstall + "\\b")); break;
    case 1: Set(key, std::string(n) + "prefix", REG_SZ, Z(std::string(kInstall) + " Tools\\" + file)); break;
    case 2:
        Set(key, std::string(n) + "multi", REG_MULTI_SZ,
            std::string("first\0", 6) + kShared + "\\" + file + std::string("\0\0", 2));
        break;
    case 3:
        Set(key, std::string(n) + "okexe", REG_SZ, Z(std::string("\"") + kInstall + "\\Kestrin.exe\" \"%1\""));
        break;
    case 4: Set(key, std::string(n) + "okshared", REG_EXPAND_SZ, Z(std::string(kShared) + "\\" + file)); break;
    case 5: Set(key, std::string(n) + "okcase", REG_SZ, Z("c:\\program files\\VANTOR\\kestrin 5\\" + file)); break;
    default: Set(key, std::string(n) + "ok", REG_SZ, Z(std::string(kInstall) + "\\" + file)); break;
    }
}

void PutPlain(HKEY key, int slot, Lcg& rng) {
    char n[32];
    std::snprintf(n, sizeof n, "v%02d_plain", slot);
    unsigned long r = rng.Next();
    if (r % 3 == 0) {
        DWORD d = r;
        Set(key, n, REG_DWORD, std::string(reinterpret_cast<char*>(&d), 4));
    } else if (r % 3 == 1) {
        Set(key, n, REG_SZ, Z("C:\\Program Files\\Other" + std::to_string(r % 97) + "\\x.dll"));
    } else {
        std::string bytes(16 + r % 48, 0);
        for (char& c : bytes) c = static_cast<char>(rng.Next());
        Set(key, n, REG_BINARY, bytes);
    }
}

void FillKey(HKEY key, Lcg& rng) {
    bool longLast = rng.Next() % 20 == 0;  // one key in 20 has a long value, last
    for (int v = 0; v < kValuesPerKey - (longLast ? 1 : 0); ++v) {
        if (rng.Next() % 10 == 0)
            PutNaming(key, v, rng);
        else
            PutPlain(key, v, rng);
    }
    if (longLast) Set(key, "zz_long", REG_SZ, Z(std::string(kInstall) + "\\" + std::string(300, 'p') + ".dat"));
}

int Fill() {
    Lcg rng{12345};
    HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    for (HKEY root : roots) {
        for (int g = 0; g < kGroups; ++g) {
            for (int k = 0; k < kKeysPerGroup; ++k) {
                char path[96];
                std::snprintf(path, sizeof path, "%s\\g%03d\\k%03d", kBenchKey, g, k);
                HKEY key;
                if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)) {
                    std::fprintf(stderr, "cannot create %s\n", path);
                    return 1;
                }
                FillKey(key, rng);
                RegCloseKey(key);
            }
        }
    }
    return 0;
}

// ---- the reference walk -------------------------------------------------

unsigned long g_refValues = 0;

HKEY RefCreateOrOpen(HKEY parent, const char* name) {
    char emptyClass[1] = "";
    HKEY key = nullptr;
    DWORD disposition;
    if (RegCreateKeyExA(parent, name, 0, emptyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// The single replacement of the walk as first designed: the first
// occurrence of `oldText`, ASCII letters without case (caseSensitive zero),
// into a new string the caller frees; 1 on a match.
static int ReplaceFirstText(const char* text, const char* oldText, const char* newText, char caseSensitive,
                            char** result) {
    *result = nullptr;
    if (oldText[0] == 0) return 0;
    long p;
    if (caseSensitive) {
        const char* hit = std::strstr(text, oldText);
        p = hit ? static_cast<long>(hit - text) : -1;
    } else {
        p = FindTextNoCase(text, oldText);
    }
    if (p < 0) return 0;
    size_t n = std::strlen(text), o = std::strlen(oldText), m = std::strlen(newText);
    size_t at = static_cast<size_t>(p);
    // at + o <= n holds: the match lies inside the text.
    char* out = static_cast<char*>(std::malloc(n - o + m + 1));
    if (!out) return 0;
    std::memcpy(out, text, at);
    std::memcpy(out + at, newText, m);
    std::memcpy(out + at + m, text + at + o, n - at - o);
    out[n - o + m] = 0;
    *result = out;
    return 1;
}

// The walk as first designed: fixed 256-byte buffers, a failed read ends a
// phase, every value searched as text whatever its type, first occurrence.
int ReferenceReplaceInRegistryTree(HKEY key, const char* oldText, const char* newText) {
    int count = 0;
    char name[256];
    char data[257];  // one more than offered: data without a NUL is bounded
    for (DWORD i = 0;; ++i) {
        DWORD nameCap = 256, dataCap = 256, type = 0;
        if (RegEnumValueA(key, i, name, &nameCap, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataCap) !=
            ERROR_SUCCESS)
            break;
        ++g_refValues;
        data[dataCap] = 0;
        char* rewritten = nullptr;
        if (ReplaceFirstText(data, oldText, newText, 0, &rewritten) == 1) {
            if (RegSetValueExA(key, name, 0, type, reinterpret_cast<BYTE*>(rewritten),
                               static_cast<DWORD>(std::strlen(rewritten) + 1)) == ERROR_SUCCESS)
                ++count;
            std::free(rewritten);
        }
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameCap = 256, classCap = 256;
        if (RegEnumKeyExA(key, i, name, &nameCap, nullptr, data, &classCap, nullptr) != ERROR_SUCCESS) return count;
        HKEY sub = RefCreateOrOpen(key, name);
        if (!sub) continue;
        count += ReferenceReplaceInRegistryTree(sub, oldText, newText);
        RegCloseKey(sub);
    }
}

void ReferenceMigrateRegistry() {
    DeleteOldKeys(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", RegistryMode::Rewrite);
    HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    const char* passes[][2] = {{kInstall, kFinal}, {kShared, kFinal}, {"Kestrin.exe", "Dovetra.exe"}};
    for (auto& pass : passes)
        for (HKEY root : roots) ReferenceReplaceInRegistryTree(root, pass[0], pass[1]);
    WriteNewKeys(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", kFinal, RegistryMode::Rewrite);
}

// ---- timing and dump ----------------------------------------------------

int Time(bool reference) {
    ResetUpdaterState();
    LARGE_INTEGER a, b;
    RegistryResult r;
    QueryPerformanceCounter(&a);
    if (reference)
        ReferenceMigrateRegistry();
    else
        r = MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr, StopCheck());
    QueryPerformanceCounter(&b);
    if (reference)
        std::printf("%.3f s, %lu values read\n", Seconds(a, b), g_refValues);
    else
        std::printf("%.3f s, %lu values read, %lu keys, %lu links\n", Seconds(a, b), r.walk.values, r.walk.keys,
                    r.walk.links.count);
    return 0;
}

void DumpKey(HKEY key, const std::string& label, FILE* out) {
    std::vector<char> name(16385);
    std::vector<BYTE> data(65536);
    for (DWORD i = 0;; ++i) {
        DWORD nl = static_cast<DWORD>(name.size()), dl = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueA(key, i, name.data(), &nl, nullptr, &type, data.data(), &dl) != ERROR_SUCCESS) break;
        std::fprintf(out, "%s:%s\t%lu\t", label.c_str(), name.data(), type);
        for (DWORD j = 0; j < dl; ++j) std::fprintf(out, "%02x", data[j]);
        std::fputc('\n', out);
    }
    char sub[256];
    for (DWORD i = 0;; ++i) {
        DWORD sl = sizeof sub;
        if (RegEnumKeyExA(key, i, sub, &sl, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child;
        if (RegOpenKeyExA(key, sub, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        DumpKey(child, label + "\\" + sub, out);
        RegCloseKey(child);
    }
}

// A key of 10 values as the walk sees it: the link check on every value,
// the path grown and cut back, the stop check asked once.
int PerKey() {
    const int kKeys = 1000000;
    const wchar_t* names[] = {L"v00_plain", L"SymbolicLinkValue", L"v02_okexe", L"zz_long"};
    const DWORD lens[] = {9, 17, 9, 7};  // as the enumeration gives them
    const DWORD types[] = {REG_SZ, REG_DWORD, REG_LINK, REG_BINARY};
    std::wstring path = L"HKEY_CURRENT_USER\\Software\\DvBench\\g000";
    volatile bool stopFlag = false;
    StopCheck stop = [&] { return stopFlag; };
    unsigned long links = 0;
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    for (int k = 0; k < kKeys; ++k) {
        for (int v = 0; v < 10; ++v) {
            int i = (k + v) & 3;
            links += platform::IsLinkValue(names[i], lens[i], types[(k + v + (k & 1)) & 3]);
        }
        if (stop()) break;
        size_t len = path.size();
        path += L"\\k000";
        path.resize(len);
    }
    QueryPerformanceCounter(&b);
    std::printf("%.1f ns per key of 10 values (%lu links)\n", Seconds(a, b) * 1e9 / kKeys, links);
    return 0;
}

int Dump(const char* file) {
    FILE* out = std::fopen(file, "w");
    if (!out) return 1;
    HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    const char* labels[] = {"HKCU", "HKLM"};
    for (int r = 0; r < 2; ++r) {
        HKEY key;
        if (RegOpenKeyExA(roots[r], kBenchKey, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        DumpKey(key, labels[r], out);
        RegCloseKey(key);
    }
    std::fclose(out);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "fill") return Fill();
    if (cmd == "reference") return Time(true);
    if (cmd == "ours") return Time(false);
    if (cmd == "dump" && argc > 2) return Dump(argv[2]);
    if (cmd == "perkey") return PerKey();
    std::fprintf(stderr, "usage: registry_bench fill | reference | ours | dump FILE | perkey\n");
    return 2;
}
