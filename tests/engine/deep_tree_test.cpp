// A tree far deeper than the path limit, made and removed through folder
// handles. POSIX only: the Windows walk opens each folder by its path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace orvanta {
namespace {

// A chain of `depth` folders named "d" below `folder`, made through handles
// (its path is far past what the kernel takes in one call); `bottom` is written
// in the deepest.
void MakeChain(const std::string& folder, int depth, const std::string& bottom) {
  int current = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < depth && current >= 0; ++level) {
    ::mkdirat(current, "d", 0755);
    const int next = ::openat(current, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(current);
    current = next;
  }
  ASSERT_GE(current, 0);
  const int file = ::openat(current, "bottom.dat", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(file, 0);
  EXPECT_EQ(::write(file, bottom.data(), bottom.size()), static_cast<ssize_t>(bottom.size()));
  ::close(file);
  ::close(current);
}

// Removes the chain a level at a time from the top (its child moved up in its
// place), so neither the stack nor open handles grow with its depth.
void RemoveChain(const std::string& folder) {
  const int top = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(top, 0);
  for (;;) {
    const int level = ::openat(top, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (level < 0) break;
    ::unlinkat(level, "bottom.dat", 0);
    const bool deeper = ::renameat(level, "d", top, "up") == 0;
    ::close(level);
    ::unlinkat(top, "d", AT_REMOVEDIR);
    if (!deeper || ::renameat(top, "up", top, "d") != 0) break;
  }
  ::close(top);
}

// 30,000 levels: a walk that opened or joined the whole path at each level
// took minutes; the bound is this test's own time-out.
TEST(DeepTree, ThirtyThousandLevelsAreWalkedAndTheirFilesGrouped) {
  test::TempTree tree;
  const std::string chain = tree.Dir("chain");
  MakeChain(chain, 30000, "deep twin");
  tree.File("top.dat", "deep twin");
  test::RecordingWindow window;
  test::FakeSettings settings;
  settings.folders = {tree.Folder()};
  ScanRun run(window, settings);
  EXPECT_EQ(run.Run().kind, ScanOutcome::Kind::Done);
  const ResultList& list = run.FileClones();
  ASSERT_EQ(list.Rows().size(), 2u);
  const std::string deepest = list.Rows()[0].data->FullPath();
  EXPECT_EQ(deepest.size(), chain.size() + 30000 * 2 + std::string("/bottom.dat").size());
  EXPECT_EQ(list.Rows()[1].data->FullPath(), tree.Path("top.dat"));
  RemoveChain(chain);
}

}  // namespace
}  // namespace orvanta
