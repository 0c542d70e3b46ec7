// Delta streams: rebuild a new file from an old file and a compact description
// of their differences. Portable C++17, shared by the patch builder (host) and
// the engine (Windows); no system calls and no hashing here.
//
// Apply works in bounded memory whatever the file sizes: it reads the old file
// at arbitrary offsets through OldReader, the delta sequentially through
// InStream, and writes the new file sequentially through OutStream, holding only
// fixed-size buffers and probability tables (3 to 19 MiB by the new file's
// size, see deltamodel.h).
#pragma once
#include <cstddef>
#include <cstdint>

namespace core::delta {

// The caller's view of the old file. ReadAt returns true only when all n bytes
// at offset were read; Apply never asks beyond the oldSize it was given.
struct OldReader {
    virtual bool ReadAt(uint64_t offset, void* buf, size_t n) = 0;
    virtual ~OldReader() = default;  // segments::Io hands them out owned
};

// The delta bytes, in order. Read returns exactly n bytes or false; Apply never
// asks for more than the deltaSize it was given.
struct InStream {
    virtual bool Read(void* buf, size_t n) = 0;
    virtual ~InStream() = default;  // segments::Io hands them out owned
};

// Where the new file goes, in order. Write returns false when not all n bytes
// were written.
struct OutStream {
    virtual bool Write(const void* buf, size_t n) = 0;

protected:
    ~OutStream() = default;
};

enum class Result { ok, corrupt, readError, writeError };

// How a stream codes the bodies of its copies (engine/FORMAT.md): byte by
// byte (entry method 1), or as zero runs and dirty spans in groups of four
// (methods 2 and 3), whose "all zero" bit is told as format 3 told it
// (groups3) or as format 4 does (groups4; see deltamodel.h). Format 3's
// streams (bytes3, groups3) mix every decision; format 4's (bytes,
// groups4) take a sure first model's word without mixing (mix::Code).
enum class Copies : uint8_t { bytes, groups3, groups4, bytes3 };
inline bool Runs(Copies c) { return c == Copies::groups3 || c == Copies::groups4; }
inline bool Format4(Copies c) { return c == Copies::bytes || c == Copies::groups4; }

// Rebuilds the new file from the old one and a delta stream of deltaSize bytes.
// corrupt: the delta is damaged or does not fit oldSize/newSize/deltaSize (no
// byte beyond newSize is ever written, no old byte beyond oldSize is read);
// readError: old.ReadAt or delta.Read failed; writeError: out.Write failed.
// On any failure part of the new file may have been written already.
// copies: as the stream was written (delta::Writer's default is groups4).
Result Apply(OldReader& old, uint64_t oldSize, InStream& delta, uint64_t deltaSize, OutStream& out, uint64_t newSize,
             Copies copies = Copies::groups4);

const char* ResultText(Result r);

}  // namespace core::delta
