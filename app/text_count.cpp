// CountTextInFile: the judge of the engine's logs.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include "app/sequencer.h"
#include "common/path.h"
#include "platform/error.h"
#include "platform/file.h"

// A log larger than this is not the engine's: it is refused, not read.
static const int64_t kMaxLogBytes = 64 * 1024 * 1024;

static void ReportUnreadable(const char* path, const std::string& reason) {
    std::fprintf(stderr, "%s: %s\n", path, reason.c_str());
}

// Non-overlapping occurrences of `text` in the NUL-terminated `segment`.
static int CountInSegment(const char* segment, const char* text, bool caseSensitive) {
    size_t step = std::strlen(text);
    int count = 0;
    for (const char* at = segment;;) {
        const char* hit = nullptr;
        if (caseSensitive) {
            hit = std::strstr(at, text);
        } else {
            long pos = FindTextNoCase(at, text);
            if (pos >= 0) hit = at + pos;
        }
        if (!hit) return count;
        ++count;
        at = hit + step;
    }
}

// The buffer holds n bytes and a NUL after them. NULs inside split it into
// segments; the text holds no NUL, so no match spans two of them.
static int CountInBuffer(const char* buf, size_t n, const char* text, bool caseSensitive) {
    int count = 0;
    for (size_t pos = 0; pos <= n;) {
        const char* segment = buf + pos;
        count += CountInSegment(segment, text, caseSensitive);
        pos += std::strlen(segment) + 1;
    }
    return count;
}

// Reads the whole file into a fresh buffer with a NUL after it; *n is its
// length. Null when the file cannot be read; the reason goes to stderr.
static std::unique_ptr<char[]> ReadWholeFile(const char* path, size_t* n) {
    platform::Handle file;
    int64_t size = 0;
    if (!platform::OpenRead(path, file) || !platform::Size(file.Get(), &size)) {
        ReportUnreadable(path, platform::ErrorDescription(platform::LastError()));
        return nullptr;
    }
    if (size > kMaxLogBytes) {
        ReportUnreadable(path, "file too large for a log");
        return nullptr;
    }
    std::unique_ptr<char[]> buf(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
    if (!buf) return nullptr;
    size_t have = 0;
    while (have < static_cast<size_t>(size)) {
        DWORD got = 0;
        if (!platform::Read(file.Get(), buf.get() + have, static_cast<DWORD>(size - have), &got)) {
            ReportUnreadable(path, platform::ErrorDescription(platform::LastError()));
            return nullptr;
        }
        if (got == 0) break;  // the file shrank under us: judge what was there
        have += got;
    }
    buf[have] = '\0';
    *n = have;
    return buf;
}

int CountTextInFile(const char* path, const char* text, bool caseSensitive) {
    if (!text[0]) return 0;
    size_t n = 0;
    std::unique_ptr<char[]> buf = ReadWholeFile(path, &n);
    return buf ? CountInBuffer(buf.get(), n, text, caseSensitive) : 0;
}
