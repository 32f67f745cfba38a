#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/cli_options.h"
#include "cli/cli_report.h"

namespace mirelo::cli {
namespace {

TEST(ParseCommandLine, OptionsAndPaths) {
  const ParseResult r = ParseCommandLine({"--config", "/c", "--set", "Image/Quality=75", "--set=thumbnail/fit=1",
                                          "--size", "160x120", "--recursive", "--jobs=3", "--log", "err.log",
                                          "--quiet", "a.jpg", "--scene", "12.5", "b.avi", "--scene=auto", "d.mp4",
                                          "--scene", "12.5%", "e.mp4", "--scene=0", "c.avi", "--", "--odd.jpg"});
  ASSERT_TRUE(r.ok()) << r.error;
  const CliOptions& o = r.options;
  EXPECT_EQ(o.configDir, "/c");
  EXPECT_EQ(o.overrides, (std::vector<IniOverride>{{"Image", "Quality", "75"}, {"thumbnail", "fit", "1"}}));
  EXPECT_EQ(o.size, (SizeArgument{"160", "120"}));
  EXPECT_TRUE(o.recursive);
  EXPECT_EQ(o.jobs, 3);
  EXPECT_EQ(o.logFile, "err.log");
  EXPECT_TRUE(o.quiet);
  // A scene applies to the paths after it.
  EXPECT_EQ(o.paths, (std::vector<PathArgument>{{"a.jpg", ""}, {"b.avi", "12.5"}, {"d.mp4", "auto"}, {"e.mp4", "12.5%"},
                                                {"c.avi", "0"}, {"--odd.jpg", "0"}}));
}

TEST(ParseCommandLine, SetKeepsEverythingAfterTheFirstEqualsSign) {
  const ParseResult r = ParseCommandLine({"--set", "FileName/Text=a=b", "--set", "Output/Path=", "x.jpg"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.options.overrides, (std::vector<IniOverride>{{"FileName", "Text", "a=b"}, {"Output", "Path", ""}}));
}

TEST(ParseCommandLine, HelpAndVersionNeedNoPath) {
  EXPECT_TRUE(ParseCommandLine({"--help"}).options.help);
  EXPECT_TRUE(ParseCommandLine({"-h"}).ok());
  EXPECT_TRUE(ParseCommandLine({"--version"}).options.version);
}

TEST(ParseCommandLine, RefusesBadUsage) {
  const std::vector<std::vector<std::string>> rows{
      {},
      {"--quiet"},
      {"--bogus", "a.jpg"},
      {"a.jpg", "--jobs"},
      {"--jobs", "0", "a.jpg"},
      {"--jobs", "2x", "a.jpg"},
      {"--size", "160", "a.jpg"},
      {"--size", "160x-1", "a.jpg"},
      {"--size", "axb", "a.jpg"},
      {"--size", "10x10", "--preset", "160x120", "a.jpg"},
      {"--set", "Image/Quality", "a.jpg"},
      {"--set", "Quality=5", "a.jpg"},
      {"--set", "Image/Colour=5", "a.jpg"},
      {"--scene", "abc", "a.avi"},
      {"--scene", "-3", "a.avi"},
      {"--scene", "101%", "a.avi"},
      {"--scene", "-5%", "a.avi"},
      {"--scene", "%", "a.avi"},
      {"--scene", "1e1%", "a.avi"},
      {"--scene", "Auto", "a.avi"},
      {"--quiet=yes", "a.jpg"},
      {"--log", "", "a.jpg"},
      {"--dry-run=1", "a.jpg"},
      {"--json=yes", "a.jpg"},
      {"--dry-run"},
      {""},
      {"--keep-going=1", "a.jpg"},
      {"--shard", "0/2", "a.jpg"},
      {"--shard", "3/2", "a.jpg"},
      {"--shard", "1/0", "a.jpg"},
      {"--shard", "1-2", "a.jpg"},
      {"--shard", "1/2x", "a.jpg"},
      {"--files-from", "", "a.jpg"},
      {"--failed-to"},
  };
  for (const auto& args : rows) {
    std::string joined;
    for (const auto& a : args) joined += "[" + a + "]";
    EXPECT_FALSE(ParseCommandLine(args).ok()) << joined;
  }
}

TEST(IsSettingsKey, KnowsTheKeysOfThumbIniWithoutRegardToCase) {
  EXPECT_TRUE(IsSettingsKey("Image", "Quality"));
  EXPECT_TRUE(IsSettingsKey("PROC", "dpivalue"));
  EXPECT_TRUE(IsSettingsKey("VideoFrame", "Height"));
  EXPECT_TRUE(IsSettingsKey("Batch", "KeepGoing"));
  EXPECT_TRUE(IsSettingsKey("batch", "autoscene"));
  EXPECT_FALSE(IsSettingsKey("Program", "Version"));
  EXPECT_FALSE(IsSettingsKey("Image", "Mod"));
}

TEST(ConsoleTexts, ProgressLineAndLogLines) {
  EXPECT_EQ(ProgressLine(0, 4, 0, 8), "[--------] 0/4   0%");
  EXPECT_EQ(ProgressLine(1, 4, 10, 8), "[##------] 1/4  25%  0:30 left");
  EXPECT_EQ(ProgressLine(4, 4, 3725, 8), "[########] 4/4 100%  1:02:05");
  EXPECT_EQ(LogLinesForConsole("/a.jpg\r\n→Error code: 76"), "/a.jpg\n→Error code: 76\n");
  EXPECT_EQ(LogLinesForConsole("/a.jpg"), "/a.jpg\n");
}

TEST(ParseCommandLine, BatchFlagsAndLists) {
  const ParseResult r = ParseCommandLine({"--keep-going", "--keep-tree", "--skip-done", "--files-from", "list",
                                          "-0", "--failed-to=failed", "--shard", "2/5"});
  ASSERT_TRUE(r.ok()) << r.error;  // a list of files stands for the PATHs
  const CliOptions& o = r.options;
  EXPECT_TRUE(o.keepGoing && o.keepTree && o.skipDone && o.nulSeparated);
  EXPECT_EQ(o.filesFrom, "list");
  EXPECT_EQ(o.failedTo, "failed");
  EXPECT_EQ(o.shardIndex, 2);
  EXPECT_EQ(o.shardCount, 5);
}

TEST(PathLists, ReadAndWrittenAsRsyncAndTarDo) {
  struct Row {
    std::string text;
    bool nul;
    std::vector<std::string> paths;
  };
  const std::vector<Row> rows{
      {"/a.jpg\n/b c.jpg\n", false, {"/a.jpg", "/b c.jpg"}},
      {"/a.jpg\r\n\n/b.jpg", false, {"/a.jpg", "/b.jpg"}},  // CR LF, an empty line, no last line end
      {std::string("/a\nb.jpg\0/c.jpg\0", 16), true, {"/a\nb.jpg", "/c.jpg"}},
      {"", false, {}},
  };
  for (const Row& row : rows) EXPECT_EQ(SplitPathList(row.text, row.nul), row.paths) << row.text;
  for (const bool nul : {false, true}) {
    const std::vector<std::string> paths{"/x/a.jpg", "/y/ミレロ.png"};
    EXPECT_EQ(SplitPathList(JoinPathList(paths, nul), nul), paths);
  }
  // Every position lands in exactly one shard.
  for (int n = 1; n <= 4; ++n) {
    for (std::size_t i = 0; i < 10; ++i) {
      int shards = 0;
      for (int k = 1; k <= n; ++k) shards += InShard(i, k, n);
      EXPECT_EQ(shards, 1);
    }
  }
  EXPECT_TRUE(InShard(7, 0, 0));
}

TEST(ParseCommandLine, DryRunAndJson) {
  const ParseResult r = ParseCommandLine({"--dry-run", "--json", "a.jpg"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_TRUE(r.options.dryRun);
  EXPECT_TRUE(r.options.json);
}

TEST(JsonString, KeepsUtf8AndEscapesEverythingElse) {
  const std::vector<std::pair<std::string, std::string>> rows{
      {"/a b/ミレロ.jpg", "\"/a b/ミレロ.jpg\""},
      {"q\"b\\s/", "\"q\\\"b\\\\s/\""},
      {std::string("t\tn\nr\r\x01\x1f\x7f", 9), "\"t\\tn\\nr\\r\\u0001\\u001f\\u007f\""},
      {std::string("nul\0x", 5), "\"nul\\u0000x\""},
      // Bytes that are not UTF-8 (a lone continuation byte, a cut sequence, an overlong "/",
      // an encoded surrogate, past U+10FFFF) become lone surrogates, one per byte.
      {"\x80", "\"\\udc80\""},
      {"\xE3\x83", "\"\\udce3\\udc83\""},
      {"\xC0\xAF", "\"\\udcc0\\udcaf\""},
      {"\xED\xA0\x80", "\"\\udced\\udca0\\udc80\""},
      {"\xF4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""},
      {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
  };
  for (const auto& [bytes, json] : rows) EXPECT_EQ(JsonString(bytes), json) << json;
}

TEST(JsonLine, NullsForWhatIsNotKnown) {
  EntryReport r;
  r.path = "/a.jpg";
  r.outcome = "not-reached";
  EXPECT_EQ(JsonLine(r),
            "{\"path\": \"/a.jpg\", \"output\": null, \"outcome\": \"not-reached\", \"error_number\": null, "
            "\"error_text\": null, \"width\": null, \"height\": null}\n");
}

}  // namespace
}  // namespace mirelo::cli
