// prt-build as the shell sees it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "data/image/TransferFileReader.h"
#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace prt {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

test::ProcessResult RunTool(const test::TempDir& dir, std::vector<std::string> args) {
  test::ProcessRequest r;
  r.program = PRT_BUILD;
  r.args = std::move(args);
  r.workDir = dir.Path();
  return test::RunProcess(r);
}

constexpr const char* kDesc = R"({"name": "t", "screens": [{"type": "page", "text": "P"}],
    "languageFile": 1, "connection": [{"key": 5, "data": [1]}]})";

TEST(PrtBuildToolTest, WritesContainerAndCompanionFiles) {
  test::TempDir dir;
  WriteText(dir / "d.json", kDesc);
  const auto r = RunTool(dir, {"d.json", "out/plant.prt", "--image", "plant.img"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  const auto expect = test::BuildDataset(kDesc);
  EXPECT_EQ(ReadBytes(dir / "out/plant.prt"), expect.container);
  EXPECT_EQ(ReadBytes(dir / "out/plant.rt_file.LANG"), *expect.languageFile);
  EXPECT_EQ(ReadBytes(dir / "out/plant.rt_file.CONN"), *expect.connectionFile);
  EXPECT_EQ(ReadBytes(dir / "plant.img"), expect.image);
  EXPECT_FALSE(fs::exists(dir / "out/plant.prt.tmp"));
}

TEST(PrtBuildToolTest, ExplicitCompanionPaths) {
  test::TempDir dir;
  WriteText(dir / "d.json", kDesc);
  const auto r = RunTool(dir, {"d.json", "x.prt", "--lang", "l.bin", "--conn", "c.bin"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(ReadBytes(dir / "l.bin"), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(ReadBytes(dir / "c.bin").size(), 9u);
  EXPECT_FALSE(fs::exists(dir / "x.rt_file.LANG"));
}

TEST(PrtBuildToolTest, FailuresExitNonZeroAndWriteNothing) {
  struct Case {
    const char* desc;
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {R"({"screens": [{"type": "buton"}]})", {"d.json", "o.prt"}, "screens[0].type: unknown type \"buton\""},
      {"{", {"d.json", "o.prt"}, "not valid JSON"},
      {kDesc, {"missing.json", "o.prt"}, "cannot read missing.json"},
      {kDesc, {"d.json"}, "Usage: prt-build"},
      {kDesc, {"d.json", "o.prt", "--lang"}, "--lang needs a path"},
      {kDesc, {"d.json", "o.prt", "--verbose"}, "unknown option --verbose"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    WriteText(dir / "d.json", c.desc);
    const auto r = RunTool(dir, c.args);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.exitStatus, 1) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "o.prt")) << c.message;
    EXPECT_FALSE(fs::exists(dir / "o.rt_file.LANG")) << c.message;
  }
}

TEST(PrtBuildToolTest, BundledExampleLoads) {
  test::TempDir dir;
  const auto r = RunTool(dir, {PRT_SOURCE_DIR "/examples/plant/plant.json", "plant.prt", "--image", "plant.img"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  auto reader = TransferFileReader::LoadBytes(ReadBytes(dir / "plant.prt"));
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->Name(), "plant");
  reader->AdjustByteOrder(ByteOrder::Little, 0);
  reader->Relocate(0, 0);
  std::vector<uint8_t> payload = reader->Payload();
  payload.resize(reader->PayloadSize());
  EXPECT_EQ(payload, ReadBytes(dir / "plant.img"));
}

}  // namespace
}  // namespace prt
