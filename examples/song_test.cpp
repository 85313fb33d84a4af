#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "test_support/run_tool.hpp"
#include "test_support/tag_bytes.hpp"

namespace id3sniff {
namespace {

const std::string kSongPath = std::string(ID3SNIFF_SOURCE_DIR) + "/examples/song.mp3";

TEST(BundledSample, IsWhatTheGeneratorWrites) {
  std::ifstream file(kSongPath, std::ios::binary);
  ASSERT_TRUE(file) << kSongPath;
  const std::string bytes{std::istreambuf_iterator<char>(file), {}};
  EXPECT_TRUE(bytes == testing::SongBytes())
      << "regenerate with: cmake --build build --target song";
}

TEST(BundledSample, GivesTheDocumentedReport) {
  const testing::ToolRun run = testing::RunTool({kSongPath});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "ID3v2 (2.4) tag info for " + kSongPath +
                         "\n"
                         "(Date)   TDRC = 2019\n"
                         "(Date)   TYER = noDate\n"
                         "(Album)  TALB = Caf\xC3\xA9 Album\n"
                         "(Title)  TIT2 = Some Title\n"
                         "(Artist) TPE1 = The Artist\n"
                         "(TSSE)   TSSE = Lavf58.29.100\n"
                         "(APIC)   APIC = noAPIC\n"
                         "(TXXX)1/2TXXX = Description = Live recording\n"
                         "(TXXX)2/2TXXX = Comment = Ripped\n"
                         "\n");
}

TEST(BundledSample, IsTheReportTheReadmeShows) {
  std::ifstream file(std::string(ID3SNIFF_SOURCE_DIR) + "/README.md");
  const std::string readme{std::istreambuf_iterator<char>(file), {}};
  const std::string intro = "`make run`:\n\n```\n";
  const std::size_t start = readme.find(intro);
  ASSERT_NE(start, std::string::npos);
  const std::size_t from = start + intro.size();
  const std::string shown = readme.substr(from, readme.find("```", from) - from);
  testing::ToolOptions options;
  options.working_dir = ID3SNIFF_SOURCE_DIR;
  EXPECT_EQ(testing::RunTool({"examples/song.mp3"}, options).out, shown);
}

}  // namespace
}  // namespace id3sniff
