// prt-build as the shell sees it.
#include <gtest/gtest.h>

#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

std::string String(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

constexpr const char* kDesc = R"({"name": "t", "screens": [{"type": "page", "text": "P"}],
    "languageFile": 1, "connection": [{"key": 5, "data": [1]}]})";

TEST(PrtBuildToolTest, WritesContainerAndCompanionFiles) {
  test::TempDir dir;
  test::WriteFile(dir / "d.json", kDesc);
  auto r = test::Run(PRT_BUILD, {"d.json", "out/plant.prt", "--image", "plant.img"}, dir.Path());
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  const auto expect = test::BuildDataset(kDesc);
  EXPECT_EQ(ReadFile(dir / "out/plant.prt"), String(expect.container));
  EXPECT_EQ(ReadFile(dir / "out/plant.rt_file.LANG"), String(*expect.languageFile));
  EXPECT_EQ(ReadFile(dir / "out/plant.rt_file.CONN"), String(*expect.connectionFile));
  EXPECT_EQ(ReadFile(dir / "plant.img"), String(expect.image));
  EXPECT_FALSE(fs::exists(dir / "out/plant.prt.tmp"));

  r = test::Run(PRT_BUILD, {"d.json", "x.prt", "--lang", "l.bin", "--conn", "c.bin"}, dir.Path());
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(ReadFile(dir / "l.bin"), String(*expect.languageFile));
  EXPECT_EQ(ReadFile(dir / "c.bin"), String(*expect.connectionFile));
  EXPECT_FALSE(fs::exists(dir / "x.rt_file.LANG"));
}

}  // namespace
}  // namespace prt
