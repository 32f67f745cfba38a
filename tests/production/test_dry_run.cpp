// The dry run's plan: the names a real run then writes, the entries it would not write, and
// the errors that would end the run, all without loading or writing anything.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/log_buffer.h"
#include "platform/error.h"
#include "production/batch_engine.h"
#include "production/dry_run.h"
#include "support/magick.h"
#include "support/temp_dir.h"

namespace mirelo::production {
namespace {

namespace fs = std::filesystem;

class SilentFrontEnd : public BatchFrontEnd {
 public:
  bool askCancel() override { return true; }
  void showMessage(const app::MessageText&) override {}
};

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) names.push_back(entry.path().string());
  std::sort(names.begin(), names.end());
  return names;
}

class DryRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out_ = dir_ / "out";
    fs::create_directories(out_);
    snapshot_.settings.FitMode = 1;
    snapshot_.settings.FormatIndex = 0;
    snapshot_.settings.Quality = 75;
    snapshot_.settings.NameMode = 0;
    snapshot_.settings.OutputMode = 1;
    snapshot_.settings.OutputPath = out_.string();
    snapshot_.sizes = {"40", "30"};
  }

  std::string Picture(const std::string& name) {
    const fs::path path = dir_ / name;
    fs::create_directories(path.parent_path());
    EXPECT_TRUE(test::MagickConvert({"-size", "32x24", "gradient:navy-orange", path.string()})) << name;
    return path.string();
  }

  test::TempDir dir_;
  fs::path out_;
  BatchSettings snapshot_;
};

TEST_F(DryRunTest, PlansTheNamesARealRunWrites) {
  // Same names from different folders, names differing in case only, names already taken by a
  // file, a folder and a hidden entry, lower-case output names.
  std::ofstream(out_ / "c.jpg") << "x";
  fs::create_directory(out_ / "_C.JPG");
  std::ofstream(out_ / "__c.jpg") << "x";
  std::vector<BatchEntry> entries{{Picture("a/p.jpg"), true, ""},  {Picture("b/p.png"), true, ""},
                                  {Picture("b/P.gif"), true, ""},  {Picture("c.bmp"), true, ""},
                                  {Picture("d/c.tif"), false, ""}, {Picture("d/C.png"), true, ""}};
  snapshot_.settings.LowerCaseName = 1;
  const std::vector<std::string> before = Listing(dir_.path());

  const BatchPlan plan = PlanBatch(entries, snapshot_);
  EXPECT_EQ(Listing(dir_.path()), before);  // nothing written
  ASSERT_FALSE(plan.refusal);
  EXPECT_EQ(plan.endIndex, -1);
  ASSERT_EQ(plan.entries.size(), entries.size());
  struct Expect {
    PlannedOutcome outcome;
    std::string name;
    int onDisk, inList;
  };
  const std::vector<Expect> expected{
      {PlannedOutcome::Write, "p.jpg", 0, 0},   {PlannedOutcome::Write, "_p.jpg", 0, 1},
      {PlannedOutcome::Write, "__p.jpg", 0, 2}, {PlannedOutcome::Write, "___c.jpg", 3, 0},
      {PlannedOutcome::NotSelected, "", 0, 0},  {PlannedOutcome::Write, "____c.jpg", 3, 1},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const EntryPlan& p = plan.entries[i];
    EXPECT_EQ(p.outcome, expected[i].outcome) << i;
    EXPECT_EQ(p.output, expected[i].name.empty() ? "" : (out_ / expected[i].name).string()) << i;
    EXPECT_EQ(p.takenOnDisk, expected[i].onDisk) << i;
    EXPECT_EQ(p.takenInList, expected[i].inList) << i;
  }

  SilentFrontEnd frontEnd;
  const BatchResult result = BatchEngine({2, nullptr}).Run(entries, snapshot_, frontEnd);
  ASSERT_EQ(result.outcome, BatchOutcome::Completed);
  for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(result.outputs[i], plan.entries[i].output) << i;
}

TEST_F(DryRunTest, ErrorsThatEndTheRunAndEntriesWithoutAFile) {
  const std::string a = Picture("a.jpg");
  const std::string b = Picture("b.jpg");
  const std::string clip = (dir_ / "clip.avi").string();
  std::ofstream(clip) << "never opened by a dry run";
  struct Row {
    const char* what;
    void (*change)(BatchSettings&, const fs::path& dir);
    std::vector<PlannedOutcome> outcomes;
    int endIndex;
    std::int32_t number;
  };
  const std::vector<Row> rows{
      {"missing output folder",
       [](BatchSettings& s, const fs::path& dir) { s.settings.OutputPath = (dir / "nowhere").string(); },
       {PlannedOutcome::EndsRun, PlannedOutcome::NotReached, PlannedOutcome::NotReached},
       0,
       err::kPathNotFound},
      {"a file as output folder",
       [](BatchSettings& s, const fs::path& dir) { s.settings.OutputPath = (dir / "a.jpg").string(); },
       {PlannedOutcome::EndsRun, PlannedOutcome::NotReached, PlannedOutcome::NotReached},
       0,
       err::kPathNotFound},
      {"size box text not a number",
       [](BatchSettings& s, const fs::path&) { s.sizes.width = "abc"; },
       {PlannedOutcome::EndsRun, PlannedOutcome::NotReached, PlannedOutcome::NotReached},
       0,
       err::kTypeMismatch},
      {"format index that saves nothing",
       [](BatchSettings& s, const fs::path&) { s.settings.FormatIndex = 8; },
       {PlannedOutcome::NothingSaved, PlannedOutcome::NothingSaved, PlannedOutcome::NothingSaved},
       -1,
       0},
  };
  for (const Row& row : rows) {
    BatchSettings settings = snapshot_;
    row.change(settings, dir_.path());
    const std::vector<BatchEntry> entries{{a, true, ""}, {clip, true, "3"}, {b, true, ""}};
    const BatchPlan plan = PlanBatch(entries, settings);
    ASSERT_EQ(plan.entries.size(), 3u) << row.what;
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_EQ(plan.entries[i].outcome, row.outcomes[i]) << row.what << " " << i;
    EXPECT_EQ(plan.endIndex, row.endIndex) << row.what;
    if (row.endIndex >= 0) {
      EXPECT_EQ(plan.entries[0].errorNumber, row.number) << row.what;
      EXPECT_FALSE(plan.entries[0].reason.empty()) << row.what;
    }
    // The real run ends where the plan says, with the same number.
    SilentFrontEnd frontEnd;
    app::LogBuffer log;
    const BatchResult result = BatchEngine({1, &log}).Run(entries, settings, frontEnd);
    EXPECT_EQ(result.errorIndex, row.endIndex) << row.what;
    if (row.endIndex >= 0) {
      EXPECT_EQ(result.lastErrorNumber, row.number) << row.what;
    }
  }
  EXPECT_EQ(Listing(out_), std::vector<std::string>{});
}

TEST_F(DryRunTest, AFolderThatCannotBeWrittenOrListedEndsTheRun) {
  const std::string a = Picture("a.jpg");
  const BatchPlan unwritable = PlanBatch({{a, true, ""}}, snapshot_, NameTakenOnDisk,
                                         [](const std::string&) { return err::kFileCannotBeRead; });
  EXPECT_EQ(unwritable.entries[0].outcome, PlannedOutcome::EndsRun);
  EXPECT_EQ(unwritable.entries[0].errorNumber, err::kFileCannotBeRead);
  EXPECT_EQ(unwritable.entries[0].output, (out_ / "a.jpg").string());  // named before the save fails

  const BatchPlan unlistable =
      PlanBatch({{a, true, ""}}, snapshot_,
                [](const std::string&, const std::string&) -> bool { throw Error(kPathFileAccessError); });
  EXPECT_EQ(unlistable.entries[0].outcome, PlannedOutcome::EndsRun);
  EXPECT_EQ(unlistable.entries[0].errorNumber, kPathFileAccessError);

  // The real check on a folder without write permission (root writes anywhere).
  if (::geteuid() != 0) {
    fs::permissions(out_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(FolderWriteError(out_.string()), err::kFileCannotBeRead);
    fs::permissions(out_, fs::perms::owner_all);
  }
  EXPECT_EQ(FolderWriteError(out_.string()), 0);
  EXPECT_EQ(FolderWriteError((dir_ / "none").string()), err::kPathNotFound);
}

TEST_F(DryRunTest, TheRunsChecksRefuseFirst) {
  EXPECT_EQ(PlanBatch({}, snapshot_).refusal->text, "リストがありません");
  snapshot_.settings.FrameMode = 1;
  const BatchPlan plan = PlanBatch({{Picture("a.jpg"), true, ""}}, snapshot_);
  ASSERT_TRUE(plan.refusal);
  EXPECT_EQ(plan.refusal->text, "静止画用のサムネイル枠が設定されていません");
  EXPECT_EQ(plan.entries[0].outcome, PlannedOutcome::NotReached);
}

}  // namespace
}  // namespace mirelo::production
