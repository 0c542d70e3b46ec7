// Scratch folders and a stand-in dialog for the sequencer's tests.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace scratch {

// Folder of the running test program.
std::string ProgramFolder();
// Deletes a tree, read-only files included; missing is fine.
void DeleteTree(const std::string& path);
void MakeFolder(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
bool Exists(const std::string& path);
void SetReadOnly(const std::string& path, bool on);

// A hidden top-level window holding buttons 1, 2 and 1001 and the progress
// bar 1000, standing in for the main dialog.
class FakeDialog {
public:
    FakeDialog();
    ~FakeDialog();
    HWND Get() const { return hwnd_; }
    int BarPosition() const;
    bool Enabled(int id) const;
    std::string Text(int id) const;

private:
    HWND hwnd_ = nullptr;
};

}  // namespace scratch
