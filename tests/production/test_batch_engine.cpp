#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/log_buffer.h"
#include "production/batch_engine.h"
#include "production/batch_texts.h"
#include "production/folder_reader.h"
#include "support/magick.h"
#include "support/photo_tree.h"
#include "support/temp_dir.h"

namespace mirelo::production {
namespace {

namespace fs = std::filesystem;

// Records what the engine asks of its front end.
class RecordingFrontEnd : public BatchFrontEnd {
 public:
  void runStarted(int total) override { events.push_back("start " + std::to_string(total)); }
  void entryStarted(int index) override { events.push_back("current " + std::to_string(index)); }
  void entryDeselected(int index) override { events.push_back("deselect " + std::to_string(index)); }
  void pictureSized(int index, EntryKind kind, int width, int height) override {
    sizes.push_back(std::to_string(index) + (kind == EntryKind::Still ? " still" : " video") +
                    SizeCaption(width, height) + " logs " + std::to_string(logs.size()));
  }
  void stillLoaded(int index, const imaging::Image& picture) override {
    events.push_back("picture " + std::to_string(index) + " " + std::to_string(picture.width) + "x" +
                     std::to_string(picture.height) + " of " + std::to_string(picture.sourceWidth) + "x" +
                     std::to_string(picture.sourceHeight));
  }
  void logAppended(std::string_view message) override { logs.emplace_back(message); }
  void thumbnailWritten(int index, const std::string& path) override {
    events.push_back("written " + std::to_string(index));
    written.push_back(fs::path(path).filename().string());
  }
  void progress(int done, int total) override {
    events.push_back("progress " + std::to_string(done) + "/" + std::to_string(total));
    if (done == cancelAfter && engine) engine->RequestCancel();
  }
  bool askCancel() override {
    events.push_back("ask");
    return answerYes;
  }
  void showMessage(const app::MessageText& message) override { messages.push_back(message.text + "|" + message.title); }
  void runFinished(const BatchResult&) override { events.push_back("finished"); }

  int count(const std::string& event) const { return static_cast<int>(std::count(events.begin(), events.end(), event)); }

  std::vector<std::string> events;
  std::vector<std::string> logs;
  std::vector<std::string> written;
  std::vector<std::string> messages;
  std::vector<std::string> sizes;  // pictureSized: index, kind, caption, log messages before it
  BatchEngine* engine = nullptr;
  int cancelAfter = -1;  // request a cancel when this many entries are done
  bool answerYes = true;
};

const std::string kFinished = std::string(kFinishedText) + "|" + std::string(kFinishedTitle);

class BatchEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    out_ = dir_ / "out";
    fs::create_directories(out_);
    snapshot_.settings.FitMode = 1;
    snapshot_.settings.FormatIndex = 0;
    snapshot_.settings.Quality = 75;
    snapshot_.settings.DpiValue = 72;
    snapshot_.settings.NameMode = 2;
    snapshot_.settings.NameText = "_thum";
    snapshot_.settings.OutputMode = 1;
    snapshot_.settings.OutputPath = out_.string();
    snapshot_.sizes = {"40", "30"};
  }

  // A small picture made by ImageMagick; the colours follow the name so outputs differ.
  std::string Picture(const std::string& name, const std::string& size = "64x48") {
    const fs::path path = dir_ / name;
    fs::create_directories(path.parent_path());
    const std::string colour = std::to_string(name.size() * 37 % 256);
    EXPECT_TRUE(test::MagickConvert({"-size", size, "gradient:rgb(" + colour + ",20,200)-rgb(250,240," + colour + ")",
                                     path.string()}))
        << name;
    return path.string();
  }

  std::string Clip(const std::string& name, const std::string& extra = "") {
    const fs::path path = dir_ / name;
    const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=5 -t 2 " + extra + " '" +
                                path.string() + "' </dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path.string();
  }

  std::string Garbage(const std::string& name) {
    const fs::path path = dir_ / name;
    std::ofstream(path) << "this is not a picture at all, only words";
    return path.string();
  }

  BatchResult Run(const std::vector<BatchEntry>& entries, RecordingFrontEnd& frontEnd, int jobs = 2,
                  imaging::Size previewBox = {}) {
    BatchEngine engine({jobs, &log_, previewBox});
    frontEnd.engine = &engine;
    BatchResult result = engine.Run(entries, snapshot_, frontEnd);
    frontEnd.engine = nullptr;
    return result;
  }

  std::vector<std::string> OutputNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir dir_;
  fs::path out_;
  BatchSettings snapshot_;
  app::LogBuffer log_;
};

TEST_F(BatchEngineTest, UnselectedEntriesAreSkippedButCounted) {
  const std::vector<BatchEntry> entries{
      {Picture("a.jpg"), true, ""}, {Picture("b.png"), false, ""}, {Picture("c.gif"), true, ""}};
  RecordingFrontEnd fe;
  const BatchResult result = Run(entries, fe);

  EXPECT_EQ(result.outcome, BatchOutcome::Completed);
  EXPECT_EQ(result.written, 2);
  EXPECT_EQ(result.done, 3);
  EXPECT_EQ(fe.events, (std::vector<std::string>{"start 3", "current 0", "written 0", "progress 1/3", "current 1",
                                                 "progress 2/3", "current 2", "written 2", "progress 3/3",
                                                 "finished"}));
  EXPECT_EQ(OutputNames(), (std::vector<std::string>{"a_thum.jpg", "c_thum.jpg"}));
  EXPECT_EQ(fe.messages, std::vector<std::string>{kFinished});
  EXPECT_EQ(log_.Text(), "");
}

TEST_F(BatchEngineTest, NoEntrySelectedWritesNothingAndStillFinishes) {
  const std::vector<BatchEntry> entries{{Picture("a.jpg"), false, ""}, {Picture("b.jpg"), false, ""}};
  RecordingFrontEnd fe;
  const BatchResult result = Run(entries, fe);
  EXPECT_EQ(result.outcome, BatchOutcome::Completed);
  EXPECT_EQ(result.done, 2);
  EXPECT_TRUE(OutputNames().empty());
  EXPECT_EQ(fe.messages, std::vector<std::string>{kFinished});
}

TEST_F(BatchEngineTest, AFailedVideoLoadIsLoggedDeselectedAndSkipped) {
  const std::string notMedia = Garbage("broken.avi");
  const std::string audioOnly = dir_.path() / "sound.avi";
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=1 '" + audioOnly + "' </dev/null")
                            .c_str()),
            0);
  const std::vector<BatchEntry> entries{{Picture("a.jpg"), true, ""},
                                        {notMedia, true, ""},
                                        {audioOnly, true, ""},
                                        {Clip("clip.avi"), true, "1"}};
  RecordingFrontEnd fe;
  const BatchResult result = Run(entries, fe);

  EXPECT_EQ(result.outcome, BatchOutcome::Completed);
  EXPECT_EQ(result.loadFailures, 2);
  EXPECT_EQ(result.written, 2);
  EXPECT_EQ(result.selected, (std::vector<bool>{true, false, false, true}));
  EXPECT_EQ(fe.count("deselect 1"), 1);
  EXPECT_EQ(fe.count("deselect 2"), 1);
  // A file that is not media: one line with the codec message; no video stream: two lines.
  const std::string text = log_.Text();
  EXPECT_EQ(text.rfind(notMedia + "\r\n→ERROR:正しいビデオフォーマットでないか、再生に必要なコーデックがインストールされていません。(",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find(")\r\n" + audioOnly + "\r\n→ERROR: 0\r\n"), std::string::npos) << text;
  EXPECT_EQ(result.lastErrorNumber, 0);
  EXPECT_EQ(OutputNames(), (std::vector<std::string>{"a_thum.jpg", "clip_thum.jpg"}));
  EXPECT_EQ(fe.messages, std::vector<std::string>{kFinished});
}

// The size labels get each opened picture's size, before that entry's log lines; entries that
// are unselected or never open report nothing.
TEST_F(BatchEngineTest, OpenedPicturesReportTheirSizeForTheLabels) {
  const std::vector<BatchEntry> entries{{Picture("a.png", "640x480"), false, ""},
                                        {Clip("clip.avi"), true, "1"},
                                        {Garbage("broken.avi"), true, ""},
                                        {Picture("b.png", "64x48"), true, ""}};
  RecordingFrontEnd fe;
  Run(entries, fe);
  const std::vector<std::string> expected{"1 video 64x 48 logs 0", "3 still 64x 48 logs 1"};
  EXPECT_EQ(fe.sizes, expected);
  EXPECT_EQ(SizeCaption(640, 480), " 640x 480");
}

// A clip without a scene starts at its first frame that shows something when the setting or the
// entry asks for it; otherwise at its first frame, here black.
TEST_F(BatchEngineTest, AutoSceneBySettingOrByEntry) {
  const std::string clip = (dir_ / "leader.mp4").string();
  const std::string command = "ffmpeg -v error -y -f lavfi -i 'color=black:s=64x48:r=10:d=1[a];"
                              "testsrc=size=64x48:rate=10:duration=19[b];[a][b]concat=n=2:v=1:a=0' "
                              "-c:v libx264 -pix_fmt yuv420p '" + clip + "' </dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  snapshot_.settings.FormatIndex = 2;  // PNG: no coding noise in the black
  const struct {
    std::int16_t setting;
    bool entry;
    bool content;
  } rows[] = {{0, false, false}, {1, false, true}, {0, true, true}};
  for (const auto& row : rows) {
    fs::remove_all(out_);
    fs::create_directories(out_);
    snapshot_.settings.AutoScene = row.setting;
    RecordingFrontEnd fe;
    ASSERT_EQ(Run({{clip, true, "", "", row.entry}}, fe).outcome, BatchOutcome::Completed);
    const std::vector<std::string> names = OutputNames();
    ASSERT_EQ(names.size(), 1u);
    const auto image = test::MagickDecode(out_ / names.front());
    ASSERT_TRUE(image) << "setting " << row.setting << ", entry " << row.entry;
    double sum = 0;
    for (std::uint8_t v : image->pixels) sum += v;
    EXPECT_EQ(sum / static_cast<double>(image->pixels.size()) > 40.0, row.content)
        << "setting " << row.setting << ", entry " << row.entry;
  }
}

// The window's LEAD1 shows each still while its entry is current, from the run's own load.
TEST_F(BatchEngineTest, LoadedStillsReachTheFrontEndReducedToThePreviewBox) {
  const std::vector<BatchEntry> entries{{Picture("wide.png", "800x400"), true, ""},
                                        {Picture("off.png"), false, ""},
                                        {Clip("clip.avi"), true, "1"},
                                        {Picture("small.png", "30x20"), true, ""}};
  // Thumbnails large enough that the run loads the wide picture whole (a smaller one is handed
  // over as the run loaded it: never decoded again, never enlarged).
  snapshot_.sizes = {"400", "300"};
  for (const imaging::Size box : {imaging::Size{200, 150}, imaging::Size{}}) {
    RecordingFrontEnd fe;
    Run(entries, fe, 2, box);
    std::vector<std::string> pictures;
    std::copy_if(fe.events.begin(), fe.events.end(), std::back_inserter(pictures),
                 [](const std::string& e) { return e.rfind("picture", 0) == 0; });
    if (box.width == 0) {
      EXPECT_TRUE(pictures.empty());
      continue;
    }
    EXPECT_EQ(pictures, (std::vector<std::string>{"picture 0 200x100 of 800x400", "picture 3 30x20 of 30x20"}));
    const auto at = [&](const std::string& e) { return std::find(fe.events.begin(), fe.events.end(), e) - fe.events.begin(); };
    EXPECT_LT(at("current 0"), at("picture 0 200x100 of 800x400"));
    EXPECT_LT(at("picture 0 200x100 of 800x400"), at("progress 1/4"));
    EXPECT_LT(at("current 3"), at("picture 3 30x20 of 30x20"));
  }
}

TEST(ReducedToBoxTest, KeepsTheAspectNeverEnlargesAndExpandsPalettes) {
  imaging::Image palette = imaging::Image::blank(4, 2, imaging::PixelFormat::Palette8);
  palette.palette = {{200, 10, 20}};
  struct Row {
    imaging::Image picture;
    imaging::Size box, expected;
    imaging::PixelFormat format;
  };
  const Row rows[] = {
      {imaging::Image::blank(400, 300, imaging::PixelFormat::Gray8), {200, 150}, {200, 150}, imaging::PixelFormat::Gray8},
      {imaging::Image::blank(1, 10000), {200, 150}, {1, 150}, imaging::PixelFormat::Rgb24},
      {imaging::Image::blank(10000, 1), {200, 150}, {200, 1}, imaging::PixelFormat::Rgb24},
      {imaging::Image::blank(30, 20), {200, 150}, {30, 20}, imaging::PixelFormat::Rgb24},
      {palette, {2, 2}, {2, 1}, imaging::PixelFormat::Rgb24},
  };
  for (const Row& row : rows) {
    const imaging::Image out = ReducedToBox(row.picture, row.box);
    EXPECT_EQ((imaging::Size{out.width, out.height}), row.expected) << row.picture.width << "x" << row.picture.height;
    EXPECT_EQ(out.format, row.format);
    EXPECT_EQ(out.sourceWidth, row.picture.width);
  }
  const imaging::Image out = ReducedToBox(palette, {2, 2});
  EXPECT_EQ((std::vector<std::uint8_t>(out.pixels.begin(), out.pixels.begin() + 3)), (std::vector<std::uint8_t>{200, 10, 20}));
}

// The still label shows 16-bit values (a 40000-pixel-wide picture reads negative); the video label does not.
TEST(SizeCaptionTest, StillsWrapToSixteenBitsClipsDoNot) {
  struct Row {
    EntryKind kind;
    int width, height;
    std::string caption;
  };
  const Row rows[] = {{EntryKind::Still, 640, 480, " 640x 480"},
                      {EntryKind::Still, 40000, 32767, "-25536x 32767"},
                      {EntryKind::Still, 65536, 1, " 0x 1"},
                      {EntryKind::Video, 40000, 300, " 40000x 300"}};
  for (const Row& row : rows) {
    EXPECT_EQ(SizeCaptionFor(row.kind, row.width, row.height), row.caption) << row.width << "x" << row.height;
  }
}

// A still that cannot be read fails in the run's own load, which ends the run.
TEST_F(BatchEngineTest, AnUnreadableStillEndsTheRun) {
  struct Row {
    std::string name;
    std::string line;
  };
  const std::vector<Row> rows{
      {"corrupt.jpg", "→ERROR:ファイルフォーマットが不正です。"},
      {"folder.jpg", "→ERROR:ファイルを読み込めません。"},
      {"missing.jpg", "→Error code: 20010"},
  };
  for (const Row& row : rows) {
    for (const std::int16_t keepGoing : {0, 1}) {
      SCOPED_TRACE(row.name + (keepGoing ? " keep going" : ""));
      log_.Clear();
      for (const auto& entry : fs::directory_iterator(out_)) fs::remove(entry.path());
      std::string bad = (dir_ / row.name).string();
      if (row.name == "corrupt.jpg") Garbage(row.name);
      if (row.name == "folder.jpg") fs::create_directories(bad);
      const std::vector<BatchEntry> entries{{Picture("a.jpg"), true, ""}, {Picture("b.jpg"), true, ""}, {bad, true, ""},
                                            {Picture("d.jpg"), true, ""}, {Picture("e.jpg"), true, ""}};
      snapshot_.settings.KeepGoing = keepGoing;
      RecordingFrontEnd fe;
      const BatchResult result = Run(entries, fe, 3);
      EXPECT_EQ(result.failed, std::vector<int>{2});
      if (keepGoing) {
        // Logged as the run would have ended, deselected, and every good file is written.
        EXPECT_EQ(result.outcome, BatchOutcome::Completed);
        EXPECT_EQ(log_.Text(), bad + "\r\n" + row.line + "\r\n");
        EXPECT_EQ(OutputNames(), (std::vector<std::string>{"a_thum.jpg", "b_thum.jpg", "d_thum.jpg", "e_thum.jpg"}));
        EXPECT_EQ(result.selected, (std::vector<bool>{true, true, false, true, true}));
        EXPECT_EQ(result.loadFailures, 1);
        EXPECT_EQ(fe.messages, std::vector<std::string>{std::string(kFinishedText) +
                                                        "\n（1 件のファイルを処理できませんでした。ログを確認してください。）|" +
                                                        std::string(kFinishedTitle)});
        continue;
      }

      EXPECT_EQ(result.outcome, BatchOutcome::Failed);
      EXPECT_EQ(result.errorIndex, 2);
      EXPECT_EQ(result.done, 2);
      EXPECT_EQ(log_.Text(), bad + "\r\n" + row.line + "\r\n");
      EXPECT_EQ(OutputNames(), (std::vector<std::string>{"a_thum.jpg", "b_thum.jpg"}));
      EXPECT_TRUE(fe.messages.empty());
      EXPECT_EQ(fe.events.back(), "finished");
      EXPECT_EQ(fe.count("progress 3/5"), 0);
      EXPECT_EQ(fe.count("current 3"), 0);
      EXPECT_EQ(result.selected, std::vector<bool>(5, true));
    }
  }
}

TEST_F(BatchEngineTest, ASaveIntoAMissingFolderEndsTheRunWithItsErrorCode) {
  // Whatever the switches: the output folder is the run's, not an entry's, and is never made.
  snapshot_.settings.OutputPath = (dir_ / "no" / "such" / "folder").string();
  snapshot_.settings.KeepGoing = 1;
  snapshot_.settings.KeepTree = 1;
  snapshot_.settings.SkipDone = 1;
  const std::string a = Picture("sub/a.jpg");
  const std::vector<BatchEntry> entries{{a, true, "", dir_.path().string()}, {Picture("b.jpg"), true, ""}};
  RecordingFrontEnd fe;
  const BatchResult result = Run(entries, fe);

  EXPECT_EQ(result.outcome, BatchOutcome::Failed);
  EXPECT_EQ(result.errorIndex, 0);
  EXPECT_EQ(result.lastErrorNumber, 76);
  EXPECT_EQ(log_.Text(), a + "\r\n→Error code: 76\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "no"));
  EXPECT_TRUE(fe.messages.empty());
}

TEST_F(BatchEngineTest, CancelAnsweredYesEndsBeforeTheNextEntry) {
  std::vector<BatchEntry> entries;
  for (char c = 'a'; c <= 'j'; ++c) entries.push_back({Picture(std::string(1, c) + ".jpg"), true, ""});
  RecordingFrontEnd fe;
  fe.cancelAfter = 3;  // pressed while entry 3 of 10 runs
  const BatchResult result = Run(entries, fe, 4);

  EXPECT_EQ(result.outcome, BatchOutcome::Cancelled);
  EXPECT_EQ(result.done, 3);
  EXPECT_EQ(fe.count("ask"), 1);
  const auto ask = std::find(fe.events.begin(), fe.events.end(), "ask");
  ASSERT_NE(ask, fe.events.end());
  EXPECT_EQ(*(ask - 1), "progress 3/10");
  EXPECT_EQ(*(ask + 1), "finished");
  // Work done ahead by the workers is discarded, never written.
  EXPECT_EQ(OutputNames(), (std::vector<std::string>{"a_thum.jpg", "b_thum.jpg", "c_thum.jpg"}));
  EXPECT_EQ(fe.messages, std::vector<std::string>{kFinished});
}

TEST_F(BatchEngineTest, CancelAnsweredNoGoesOnAndAsksOnlyOnce) {
  std::vector<BatchEntry> entries;
  for (char c = 'a'; c <= 'e'; ++c) entries.push_back({Picture(std::string(1, c) + ".png"), true, ""});
  RecordingFrontEnd fe;
  fe.cancelAfter = 2;
  fe.answerYes = false;
  const BatchResult result = Run(entries, fe);

  EXPECT_EQ(result.outcome, BatchOutcome::Completed);
  EXPECT_EQ(result.written, 5);
  EXPECT_EQ(fe.count("ask"), 1);
  const auto ask = std::find(fe.events.begin(), fe.events.end(), "ask");
  EXPECT_EQ(*(ask + 1), "current 2");
}

TEST_F(BatchEngineTest, FrameChecksRefuseTheRunWithTheirMessages) {
  const std::string still = Picture("a.jpg");
  const std::string video = dir_.path() / "v.avi";  // never opened: the checks come first
  const std::string frame = Picture("frame.png", "80x60");
  struct Row {
    const char* what;
    std::vector<BatchEntry> entries;
    int frameMode;
    std::optional<std::string> stillFrame;
    std::optional<std::string> videoFrame;
    std::optional<std::string> message;  // nullopt: the run goes ahead
  };
  const std::string noStill = std::string(kNoStillFrameText) + "|" + std::string(kErrorTitle);
  const std::string noVideo = std::string(kNoVideoFrameText) + "|" + std::string(kErrorTitle);
  const std::vector<Row> rows{
      {"empty list", {}, 0, {}, {}, std::string(kNoListText) + "|" + std::string(kErrorTitle)},
      {"still without still frame", {{still, true, ""}}, 1, std::nullopt, frame, noStill},
      {"empty text counts as unset", {{still, true, ""}}, 1, std::string(), frame, noStill},
      {"both missing: still message only", {{video, true, ""}, {still, true, ""}}, 1, {}, {}, noStill},
      {"still message even with the video frame set", {{still, true, ""}, {video, true, ""}}, 1, {}, frame, noStill},
      {"video without video frame", {{video, true, ""}}, 1, frame, {}, noVideo},
      {"unselected entries do not count", {{still, false, ""}, {video, true, ""}}, 1, std::nullopt, frame, {}},
      {"frames off", {{still, true, ""}}, 0, {}, {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    app::ThumbSettings settings = snapshot_.settings;
    settings.FrameMode = static_cast<std::int16_t>(row.frameMode);
    settings.StillFrameFile = row.stillFrame;
    settings.VideoFrameFile = row.videoFrame;
    const auto message = CheckBatch(row.entries, settings);
    EXPECT_EQ(message ? message->text + "|" + message->title : std::optional<std::string>(), row.message);
  }

  // A refused run shows its message and nothing else.
  snapshot_.settings.FrameMode = 1;
  RecordingFrontEnd fe;
  const BatchResult result = Run({{still, true, ""}}, fe);
  EXPECT_EQ(result.outcome, BatchOutcome::Refused);
  EXPECT_EQ(fe.messages, std::vector<std::string>{noStill});
  EXPECT_TRUE(fe.events.empty());
  EXPECT_TRUE(OutputNames().empty());
}

TEST_F(BatchEngineTest, FramedRunUsesTheFramePictureSize) {
  const std::string frame = Picture("frame.png", "80x60");
  snapshot_.settings.FrameMode = 1;
  snapshot_.settings.StillFrameFile = frame;
  snapshot_.settings.StillFrameTop = 10;
  snapshot_.settings.StillFrameLeft = 10;
  snapshot_.settings.StillFrameWidth = 40;
  snapshot_.settings.StillFrameHeight = 30;
  RecordingFrontEnd fe;
  const BatchResult result = Run({{Picture("a.jpg"), true, ""}}, fe);
  ASSERT_EQ(result.written, 1);
  EXPECT_EQ(test::MagickIdentify(result.outputs[0], "%wx%h"), "80x60");
}

// Names are chosen in list order, so equal base names get their underscores in that order, and
// the bytes do not depend on the number of workers.
TEST_F(BatchEngineTest, OutputIsIdenticalWithOneWorkerOrMany) {
  fs::create_directories(dir_ / "sub");
  const std::vector<BatchEntry> entries{
      {Picture("p.jpg", "120x90"), true, ""},  {Picture("p.png", "90x120"), true, ""},
      {Picture("p.gif", "64x64"), true, ""},   {Picture("q.bmp"), true, ""},
      {Picture("r.tif", "200x50"), true, ""},  {Clip("p.avi"), true, "1.5"},
      {Picture("sub/p.jpg"), true, ""},        {Picture("s.pct"), false, ""},
      {Picture("t.jpg", "300x200"), true, ""}, {Picture("u.png", "33x77"), true, ""},
  };
  std::map<std::string, std::vector<std::uint8_t>> first;
  std::vector<std::string> firstOrder;
  for (int jobs : {1, 2, 5}) {
    SCOPED_TRACE(jobs);
    for (const auto& entry : fs::directory_iterator(out_)) fs::remove(entry.path());
    RecordingFrontEnd fe;
    const BatchResult result = Run(entries, fe, jobs);
    ASSERT_EQ(result.outcome, BatchOutcome::Completed);
    EXPECT_EQ(result.written, 9);
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& name : OutputNames()) files[name] = test::ReadFileBytes(out_ / name);
    if (jobs == 1) {
      first = files;
      firstOrder = fe.written;
      EXPECT_EQ(fe.written, (std::vector<std::string>{"p_thum.jpg", "_p_thum.jpg", "__p_thum.jpg", "q_thum.jpg",
                                                      "r_thum.jpg", "___p_thum.jpg", "____p_thum.jpg", "t_thum.jpg",
                                                      "u_thum.jpg"}));
    } else {
      EXPECT_EQ(fe.written, firstOrder);
      EXPECT_TRUE(files == first);
    }
  }
}

// A tree read as a folder drop reads it: KeepTree mirrors it in the output folder, KeepGoing passes
// the damaged photo, SkipDone leaves what is up to date and remakes a changed photo beside the old
// thumbnail.
TEST_F(BatchEngineTest, ATreeKeptGoneThroughAndRedoneOnlyWhereNew) {
  const test::PhotoTree tree(dir_.path());
  snapshot_.settings.NameMode = 1;
  snapshot_.settings.LowerCaseName = 1;
  snapshot_.settings.KeepTree = 1;
  snapshot_.settings.KeepGoing = 1;
  snapshot_.settings.SkipDone = 1;
  FolderReadOptions read;
  read.settings = &snapshot_.settings;
  std::vector<BatchEntry> entries;
  for (const std::string& path : ReadFolderTree(tree.root.string(), read).files) {
    entries.push_back({path, true, "", tree.root.string()});
  }
  const std::string b = (tree.root / "b.jpg").string();
  entries.push_back({b + "-alone.jpg", true, ""});  // a file dropped by itself goes to the folder
  fs::copy_file(b, entries.back().path);
  // The tree's "out" is an ordinary folder here: the output folder lies outside the tree.
  const std::vector<std::string> expected = {"2024/01-trip/_thumdsc_0001.jpg", "2024/01-trip/_thumdsc_0003.jpg",
                                             "2024/02-party/_thumdsc_0001.jpg", "_thumb.jpg", "_thumb.jpg-alone.jpg",
                                             "_thumimg_10.jpg", "_thumimg_2.jpg", "out/_thumold.jpg"};
  auto written = [&] {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(out_)) {
      if (e.is_regular_file()) names.push_back(fs::relative(e.path(), out_).string());
    }
    std::sort(names.begin(), names.end());
    if (tree.LockedReadable()) names.erase(std::find(names.begin(), names.end(), "2024/locked/_thumz.jpg"));
    return names;
  };

  RecordingFrontEnd first;
  const BatchResult one = Run(entries, first, 3);
  EXPECT_EQ(one.outcome, BatchOutcome::Completed);
  EXPECT_EQ(written(), expected);
  EXPECT_EQ(log_.Text(), tree.damaged + "\r\n→ERROR:ファイルフォーマットが不正です。\r\n");
  const int damaged = static_cast<int>(std::find_if(entries.begin(), entries.end(), [&](const BatchEntry& e) {
                                         return e.path == tree.damaged;
                                       }) - entries.begin());
  EXPECT_EQ(one.failed, std::vector<int>{damaged});

  // Nothing new: nothing loaded, nothing written, the damaged photo fails again.
  log_.Clear();
  RecordingFrontEnd second;
  const BatchResult two = Run(entries, second, 3);
  EXPECT_EQ(two.written, 0);
  EXPECT_EQ(two.skippedDone, static_cast<int>(entries.size()) - 1);
  EXPECT_TRUE(second.sizes.empty());  // no picture was opened
  EXPECT_EQ(written(), expected);
  EXPECT_EQ(second.messages.front(), std::string(kFinishedText) + "\n（" + std::to_string(two.skippedDone) +
                                         " 件は作成済みのため作成しませんでした。1 件のファイルを処理できませんでした。"
                                         "ログを確認してください。）|" + std::string(kFinishedTitle));

  // A photo changed after its thumbnail: made again, the old thumbnail kept.
  const fs::path old = out_ / "2024/02-party/_thumdsc_0001.jpg";
  const std::string oldBytes = [&] {
    std::ifstream in(old, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  fs::last_write_time(tree.root / "2024/02-party/DSC_0001.JPG", fs::last_write_time(old) + std::chrono::seconds(5));
  RecordingFrontEnd third;
  const BatchResult three = Run(entries, third, 3);
  EXPECT_EQ(three.written, 1);
  EXPECT_TRUE(fs::exists(out_ / "2024/02-party/__thumdsc_0001.jpg"));
  std::ifstream in(old, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), oldBytes);
}

TEST(BatchTexts, RunErrorLines) {
  EXPECT_EQ(RunErrorLine(20007), "→ERROR:ファイルを読み込めません。");
  EXPECT_EQ(RunErrorLine(20009), "→ERROR:ファイルフォーマットが不正です。");
  EXPECT_EQ(RunErrorLine(76), "→Error code: 76");
  EXPECT_EQ(RunErrorLine(-2147467259), "→Error code:-2147467259");
  EXPECT_EQ(RunErrorMessage("/a/b.jpg", 6), "/a/b.jpg\r\n→Error code: 6");
}

}  // namespace
}  // namespace mirelo::production
