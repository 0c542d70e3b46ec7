#include "options.h"
#include "ascii.h"

namespace eng {

namespace {

bool SetFlag(const std::wstring& word, Options* o) {
    std::wstring w = core::ascii::Folded(word.substr(1));
    if (w == L"e")
        o->errorLog = true;
    else if (w == L"i")
        o->ignoreExtras = true;
    else if (w == L"v")
        o->verbose = true;
    else if (w == L"noc")
        o->noConsole = true;
    else if (w == L"t")
        o->testOnly = true;
    else
        return false;
    return true;
}

}  // namespace

Options ParseOptions(const std::vector<std::wstring>& args) {
    Options o;
    for (const std::wstring& a : args) {
        if (a.size() > 1 && a[0] == L'-') {
            if (!SetFlag(a, &o)) o.unknown.push_back(a);
        } else if (!a.empty()) {
            o.names++;
            o.patchName = a;
        }
    }
    return o;
}

}  // namespace eng
