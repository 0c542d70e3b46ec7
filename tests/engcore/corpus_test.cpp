// The real corpus: two releases of a compiled package. The patch must
// rebuild the new release exactly and stay below what bsdiff makes of the
// same changed files (321,249 bytes; sizes are deterministic).
#include <gtest/gtest.h>

#include <cstdlib>

#include "applier.h"
#include "builder.h"
#include "trees.h"

using namespace enginetest;

namespace {

const char* kCorpus = "/work/shared/corpus";

TEST(Corpus, RoundTripSmallerThanBsdiff) {
  std::string oldDeb = std::string(kCorpus) + "/libc6_2.36-9+deb12u7_amd64.deb";
  std::string newDeb = std::string(kCorpus) + "/libc6_2.36-9+deb12u14_amd64.deb";
  if (!fs::exists(oldDeb) || !fs::exists(newDeb)) GTEST_SKIP() << "corpus not present";
  fs::path base = Scratch("corpus");
  ASSERT_EQ(std::system(("dpkg -x " + oldDeb + " " + (base / "old").string()).c_str()), 0);
  ASSERT_EQ(std::system(("dpkg -x " + newDeb + " " + (base / "new").string()).c_str()), 0);
  // Symbolic links are not carried (the tree is for Windows): leave them out.
  for (const char* tree : {"old", "new"})
    for (const auto& e : fs::recursive_directory_iterator(base / tree))
      if (e.is_symlink()) fs::remove(e.path());
  patchbuild::BuildStats stats;
  std::string error, patch = (base / "p.rtp").string();
  ASSERT_TRUE(patchbuild::BuildPatch((base / "old").string(), (base / "new").string(), patch, {}, &stats, &error))
      << error;
  EXPECT_LT(stats.fileBytes, 321249u);
  EXPECT_EQ(stats.changed, 275u);
  fs::copy(base / "old", base / "work", fs::copy_options::recursive);
  ASSERT_TRUE(patchbuild::ApplyPatch((base / "work").string(), patch, &error)) << error;
  ExpectSameTree(base / "work", base / "new");
  fs::remove_all(base);
}

}  // namespace
