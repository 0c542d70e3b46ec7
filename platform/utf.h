// UTF-8 <-> UTF-16 at the edge of the system. Text is UTF-8 everywhere in the
// updater; the wrappers of platform/ turn it into UTF-16 just before a wide
// (W) call and turn the system's UTF-16 answers back into UTF-8.
#pragma once
#include <windows.h>
#include <string>

namespace platform {

// UTF-8 text (NUL-terminated) as UTF-16. Fails with
// ERROR_NO_UNICODE_TRANSLATION on bytes that are not UTF-8; `out` is then
// empty. A null text gives an empty string.
bool ToWide(const char* text, std::wstring& out);
// The same for text[0, n), which may hold NULs.
bool ToWide(const char* text, size_t n, std::wstring& out);

// UTF-16 text[0, n) as UTF-8. Unpaired surrogates cannot be spelled in
// UTF-8: fails with ERROR_NO_UNICODE_TRANSLATION and leaves `out` empty.
bool ToUtf8(const wchar_t* text, size_t n, std::string& out);
bool ToUtf8(const std::wstring& text, std::string& out);

// Puts the UTF-8 form of `text` (n units) with a NUL into out[0, cap). Fails,
// leaving out empty, with ERROR_INSUFFICIENT_BUFFER when it does not fit: a
// path is refused, never cut.
bool CopyUtf8(const wchar_t* text, size_t n, char* out, size_t cap);

// The UTF-16 form of `text`, empty when it is not UTF-8: for texts that are
// only shown (captions, messages), where nothing is better than garbage.
std::wstring WideOrEmpty(const char* text);

}  // namespace platform
