// Scratch folders and recorded message boxes for the migration tests.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
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

// The owner the tests pass in; every box must carry it.
extern const HWND kOwner;

void WriteText(const std::string& path, const std::string& content);
// The file's bytes; "<missing>" when it cannot be opened.
std::string ReadText(const std::string& path);
bool Exists(const std::string& path);
bool IsDir(const std::string& path);
void MakeDir(const std::string& path);
// Makes entries under `root` (or at absolute paths): "a\\" a folder,
// "a\\f=text" a file with its text.
void MakeTree(const std::string& root, const std::vector<std::string>& entries);
// Makes `link` a folder link to `target`: a symbolic link of the system's,
// or under Wine a host symbolic link, which Wine shows as a reparse point.
void MakeFolderLink(const std::string& link, const std::string& target);
std::string CurrentDir();
// Removes a tree whatever its attributes, never entering a folder link.
void RemoveAll(const std::string& path);
// The names in a folder, sorted, dot-names left out unless asked for.
Names ListNames(const std::string& folder, bool dotNames = false);
// The last-write time of a file as one number; 0 when unreadable.
unsigned long long WriteTime(const std::string& path);
void SetWriteTime(const std::string& path, unsigned long long t);

// Each test gets an empty folder `root` (under the prefix's temp folder)
// which is also the current directory at the start, and a hook that records
// every message box in `boxes`, answering OK.
class Scratch : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string At(const std::string& rel) const { return root + "\\" + rel; }
    // The texts of the boxes shown, after checking that each is owned by kOwner.
    std::vector<std::string> BoxTexts() const;

    std::string root;
};

// Every box shown since the current test began, in order.
extern std::vector<Box> g_boxes;
