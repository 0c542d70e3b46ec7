// Prints how long the container walk and the extraction of the five blocks
// take at the payload's real sizes. A benchmark, not a test: run it by hand
// (wine payload_bench.exe) and read the figures.
#include <chrono>
#include <cstdio>
#include <cstring>
#include "payload/container.h"
#include "platform/file.h"
#include "scratch.h"

namespace {

struct Item {
    const char* tag;
    size_t bytes;
};
const Item kItems[] = {{"PDLL", 141824}, {"RTP3", 1312}, {"RTP2", 1149490}, {"RTP1", 294683}, {"PEXE", 34816}};

double Millis(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
    std::string dir = FreshFolder("scratch-bench");
    std::string file = Image() + std::string(200000, '\x90');
    for (const Item& it : kItems) file += Block(it.tag, Filler(it.bytes, 1));
    std::string carrier = dir + "\\carrier.exe";
    WriteBytes(carrier, file);
    std::printf("container: %zu bytes\n", file.size());

    const int walks = 2000;
    platform::Handle h;
    platform::OpenRead(carrier.c_str(), h);
    auto t = std::chrono::steady_clock::now();
    for (int i = 0; i < walks; ++i) {
        char tag[kTagText] = "PDLL";
        int64_t s, e, n;
        FindPayloadBlock(h.Get(), tag, &s, &e, &n);
    }
    std::printf("walk to the first block (5 trailers): %.3f ms each\n", Millis(t) / walks);
    h.Reset();

    for (const Item& it : kItems) {
        std::string out = dir + "\\" + it.tag;
        t = std::chrono::steady_clock::now();
        int code = ExtractPayloadBlock(carrier.c_str(), it.tag, out.c_str());
        std::printf("extract %s (%zu bytes): code %d, %.2f ms\n", it.tag, it.bytes, code, Millis(t));
    }
    RemoveTree(dir);
    return 0;
}
