// ASCII case folding: A-Z to a-z, every other unit unchanged. Used wherever
// names compare without the system's own case rules (option words, patch
// paths, the updater's paths), in char or wchar_t text.
#pragma once
#include <string>

namespace core::ascii {

template <class Char>
constexpr Char Fold(Char c) {
    return (c >= Char('A') && c <= Char('Z')) ? Char(c - Char('A') + Char('a')) : c;
}

template <class Char>
std::basic_string<Char> Folded(std::basic_string<Char> s) {
    for (Char& c : s) c = Fold(c);
    return s;
}

}  // namespace core::ascii
