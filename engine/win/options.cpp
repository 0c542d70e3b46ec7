#include "options.h"

namespace eng {

namespace {

std::wstring Lower(const std::wstring& s) {
  std::wstring out = s;
  for (wchar_t& c : out)
    if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
  return out;
}

bool SetFlag(const std::wstring& word, Options* o) {
  std::wstring w = Lower(word.substr(1));
  if (w == L"e") o->errorLog = true;
  else if (w == L"i") o->ignoreExtras = true;
  else if (w == L"v") o->verbose = true;
  else if (w == L"noc") o->noConsole = true;
  else if (w == L"t") o->testOnly = true;
  else return false;
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
