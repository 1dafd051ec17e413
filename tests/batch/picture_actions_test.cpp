// Runs the ictalscope-batch program's picture actions on the demo recording: each writes
// ResultBaseName with its extension, the chart at the window's chart size.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "batch_program.h"
#include "support/scratch_directory.h"

namespace ictalscope {
namespace {

namespace fs = std::filesystem;

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

int LittleEndian16(const std::string& bytes, size_t at) {
  return static_cast<int16_t>(static_cast<unsigned char>(bytes[at]) |
                              static_cast<unsigned char>(bytes[at + 1]) << 8);
}

class PictureActionsTest : public ::testing::Test {
 protected:
  PictureActionsTest() {
    fs::copy_file(fs::path(ICTALSCOPE_EXAMPLES_DIR) / "1.wcp", dir_.path() / "1.wcp");
  }
  testing::ProgramResult Run(const std::vector<std::string>& args) {
    return testing::RunBatchProgram(dir_.path(), args, dir_.path() / "err.txt");
  }
  std::string Read(const std::string& name) {
    return testing::ReadFile((dir_.path() / name).string());
  }

  testing::ScratchDirectory dir_;
};

TEST_F(PictureActionsTest, EachFormatHoldsTheChartAtTheWindowsChartSize) {
  const testing::ProgramResult result =
      Run({"name=1", "load", "spikes", "iid", "wmf", "svg", "png"});
  ASSERT_EQ(result.status, 0) << result.err;
  // Only the status lines: none of the drawing library's own notes.
  EXPECT_EQ(result.err.find("QStandardPaths"), std::string::npos) << result.err;
  for (const char* extension : {"wmf", "svg", "png"}) {
    EXPECT_NE(result.err.find(std::string(extension) + ": the chart into 1." + extension),
              std::string::npos)
        << result.err;
  }

  const std::string png = Read("1.png");
  ASSERT_GE(png.size(), 24u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(BigEndian32(png, 16), 1153u);
  EXPECT_EQ(BigEndian32(png, 20), 336u);

  const std::string svg = Read("1.svg");
  EXPECT_NE(svg.find("viewBox=\"0 0 1153 336\""), std::string::npos);
  EXPECT_NE(svg.find("<polyline"), std::string::npos);  // the trace is drawn

  // A placeable metafile whose frame, at 1440 units an inch, is the chart's 1153 x 336 pixels
  // at 96 pixels an inch.
  const std::string wmf = Read("1.wmf");
  ASSERT_GE(wmf.size(), 22u);
  EXPECT_EQ(BigEndian32(wmf, 0), 0xD7CDC69Au);
  EXPECT_EQ(LittleEndian16(wmf, 10) - LittleEndian16(wmf, 6), 17295);
  EXPECT_EQ(LittleEndian16(wmf, 12) - LittleEndian16(wmf, 8), 5040);
  EXPECT_EQ(LittleEndian16(wmf, 14), 1440);
}

TEST_F(PictureActionsTest, APictureThatCannotBeWrittenFailsWithTheFilesName) {
  fs::create_directory(dir_.path() / "1.png");  // a folder where the picture would go
  const testing::ProgramResult result = Run({"name=1", "load", "spikes", "iid", "png"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("error: "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("1.png"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace ictalscope
