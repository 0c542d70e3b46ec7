// Scratch trees, whole-file reads and writes, and stand-ins for the user
// (message boxes, open-file questions, the main dialog) for the Windows tests.
// Paths are UTF-8, as everywhere above platform/.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <map>
#include <string>
#include <vector>

using Names = std::vector<std::string>;

// A message box the code under test asked for.
struct Box {
    HWND owner;
    std::string text;
    std::string title;
    UINT flags;
};

// An open-file question the code under test asked.
struct Asked {
    HWND owner;
    std::string title, pattern, initialName;
};

// The owner the tests pass in; every box must carry it.
extern const HWND kOwner;
// Every box shown since the current test began, in order (each answered OK).
extern std::vector<Box> g_boxes;
// Every open-file question since the current test began, and the file the
// user picks for each pattern ("*.exe"); a pattern with no answer cancels.
extern std::vector<Asked> g_asked;
extern std::map<std::string, std::string> g_answers;

void WriteText(const std::string& path, const std::string& content);
// The file's bytes; "<missing>" when it cannot be opened.
std::string ReadText(const std::string& path);
bool Exists(const std::string& path);
bool IsDir(const std::string& path);
// Makes the folder and any missing parents; an existing folder is fine.
void MakeDir(const std::string& path);
// Makes entries under `root` (or at absolute paths): "a\\" a folder,
// "a\\f=text" a file with its text.
void MakeTree(const std::string& root, const std::vector<std::string>& entries);
// Makes `link` a folder link to `target`: a symbolic link of the system's,
// or under Wine a host symbolic link, which Wine shows as a reparse point.
void MakeFolderLink(const std::string& link, const std::string& target);
// Makes `link` a second name of the file `target`: a hard link, or with
// `symbolic` a symbolic link (under Wine a host one, which Wine shows as the
// file it leads to, not as a reparse point).
void MakeFileLink(const std::string& link, const std::string& target, bool symbolic);
// One problem of a migrate::Outcome as a line, "item > target: why #error",
// and all of an outcome's problems so, in their order.
std::string ProblemLine(const std::string& item, const std::string& target, const std::string& why,
                        unsigned long error = 0);
template <class Outcome>
Names ProblemLines(const Outcome& out) {
    Names lines;
    for (const auto& p : out.problems) lines.push_back(ProblemLine(p.item, p.target, p.why, p.error));
    return lines;
}
std::string CurrentDir();
// The folder of the running test program.
std::string ProgramFolder();
// Removes a tree whatever its attributes, never entering a folder link.
void RemoveAll(const std::string& path);
// The names in a folder, sorted, dot-names left out unless asked for.
Names ListNames(const std::string& folder, bool dotNames = false);
// The last-write time of a file as one number; 0 when unreadable.
unsigned long long WriteTime(const std::string& path);
void SetWriteTime(const std::string& path, unsigned long long t);

// Each test gets an empty folder `root` (under the temp folder the program
// started with) which is also the current directory at the start; boxes and
// open-file questions go to the recorders above, emptied for each test.
class Scratch : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string At(const std::string& rel) const { return root + "\\" + rel; }
    // The texts of the boxes shown, after checking that each is owned by kOwner.
    std::vector<std::string> BoxTexts() const;

    std::string root;

private:
    std::string base_;  // where TearDown steps out to, whatever TMP says by then
};

// A hidden top-level window holding buttons IDOK, IDCANCEL and 1001 and the
// progress bar 1000, standing in for the main dialog.
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
