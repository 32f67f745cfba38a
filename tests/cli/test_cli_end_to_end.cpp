// mirelo-batch as a user runs it: the built program, real files, exit statuses and output.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "support/magick.h"
#include "support/photo_tree.h"
#include "support/temp_dir.h"

namespace mirelo::cli {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Cp932(const std::string& utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string in = utf8;
  std::string out(in.size() * 2 + 4, '\0');
  char* src = in.data();
  char* dst = out.data();
  std::size_t left = in.size(), room = out.size();
  EXPECT_NE(iconv(cd, &src, &left, &dst, &room), static_cast<std::size_t>(-1));
  iconv_close(cd);
  out.resize(out.size() - room);
  return out;
}

class CliTest : public ::testing::Test {
 protected:
  Outcome Run(const std::vector<std::string>& args) {
    std::string command = Quote(MIRELO_BATCH_EXE);
    for (const auto& a : args) command += " " + Quote(a);
    command += " >" + Quote((dir_ / "stdout").string()) + " 2>" + Quote((dir_ / "stderr").string()) + " </dev/null";
    const int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = ReadText(dir_ / "stdout");
    outcome.err = ReadText(dir_ / "stderr");
    return outcome;
  }

  std::string Picture(const std::string& name, const std::string& size = "64x48") {
    const fs::path path = dir_ / name;
    fs::create_directories(path.parent_path());
    EXPECT_TRUE(test::MagickConvert({"-size", size, "gradient:navy-orange", path.string()}));
    return path.string();
  }

  std::string Garbage(const std::string& name) {
    const fs::path path = dir_ / name;
    std::ofstream(path) << "not a picture";
    return path.string();
  }

  std::string config() const { return (dir_ / "config").string(); }

  test::TempDir dir_;
};

TEST_F(CliTest, CreatesTheConfigAndWritesThumbnailsWithStatusZero) {
  const std::string a = Picture("a.jpg");
  const std::string b = Picture("b.png", "40x80");
  const Outcome first = Run({"--config", config(), "--quiet", a, b});
  EXPECT_EQ(first.status, 0) << first.err;
  // Defaults of a new thumb.ini: the text "_thum" before the name, next to the source, JPEG.
  EXPECT_EQ(first.out, (dir_ / "_thuma.jpg").string() + "\n" + (dir_ / "_thumb.jpg").string() + "\n");
  EXPECT_TRUE(fs::exists(dir_ / "config" / "thumb.ini"));
  EXPECT_TRUE(fs::exists(dir_ / "config" / "size.ini"));
  // The default preset keeps the source size.
  EXPECT_EQ(test::MagickIdentify(dir_ / "_thumb.jpg", "%wx%h"), "40x80");

  // Overrides hold for one run and never reach the file; a second run never overwrites. Its
  // scratch copy goes, and so does one a killed run left (its lock free); a living run's stays.
  const std::string ini = ReadText(dir_ / "config" / "thumb.ini");
  const fs::path temp = dir_ / "tmp";
  for (const char* name : {"mirelo-batch-dead01", "mirelo-batch-live01"}) {
    fs::create_directories(temp / name);
    std::ofstream(temp / name / ".lock");
    std::ofstream(temp / name / "thumb.ini") << "[Image]\r\n";
  }
  const int held = ::open((temp / "mirelo-batch-live01" / ".lock").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  ::setenv("TMPDIR", temp.c_str(), 1);
  const Outcome second = Run({"--config", config(), "--quiet", "--set", "FileName/Mode=2", "--set",
                              "Thumbnail/Fit=1", "--preset", "160x120", a});
  ::unsetenv("TMPDIR");
  ::close(held);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(temp)) left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"mirelo-batch-live01"});
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, (dir_ / "a_thum.jpg").string() + "\n");
  EXPECT_EQ(test::MagickIdentify(dir_ / "a_thum.jpg", "%wx%h"), "160x120");
  EXPECT_EQ(ReadText(dir_ / "config" / "thumb.ini"), ini);
  const Outcome third = Run({"--config", config(), "--quiet", "--set", "FileName/Mode=2", "--size", "32x24", a});
  EXPECT_EQ(third.out, (dir_ / "_a_thum.jpg").string() + "\n");

  // Typed sizes keep the size boxes' limits (10 to 1024), with a warning instead of a beep.
  const Outcome clamped = Run({"--config", config(), "--quiet", "--set", "FileName/Mode=2", "--set",
                               "Thumbnail/Fit=0", "--size", "2000x5", b});
  EXPECT_EQ(clamped.status, 0) << clamped.err;
  EXPECT_NE(clamped.err.find("size 2000x5 taken as 1024x10"), std::string::npos) << clamped.err;
  EXPECT_EQ(test::MagickIdentify(dir_ / "b_thum.jpg", "%wx%h"), "1024x10");
}

TEST_F(CliTest, FailedEntriesGiveStatusOneAndTheLogFileBytes) {
  const std::string a = Picture("a.jpg");
  const std::string broken = Garbage("broken.avi");
  const std::string logFile = (dir_ / "errors.log").string();
  const Outcome outcome = Run({"--config", config(), "--log", logFile, broken, a});
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  const std::string line =
      "→ERROR:正しいビデオフォーマットでないか、再生に必要なコーデックがインストールされていません。(-2147220891)";
  EXPECT_NE(outcome.err.find(broken + "\n" + line + "\n"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("作業が終了しました。"), std::string::npos);
  // No progress bar when standard error is not a terminal.
  EXPECT_EQ(outcome.err.find("\033["), std::string::npos);
  EXPECT_EQ(outcome.out, (dir_ / "_thuma.jpg").string() + "\n");
  // As the log window saves: CP932, CR LF, one more CR LF at the end.
  EXPECT_EQ(ReadText(logFile), Cp932(broken + "\r\n" + line + "\r\n\r\n"));
}

TEST_F(CliTest, AnUnreadableStillEndsTheRunWithStatusThree) {
  const std::string a = Picture("a.jpg");
  const std::string corrupt = Garbage("corrupt.jpg");
  const std::string c = Picture("c.jpg");
  const std::string logFile = (dir_ / "errors.log").string();
  const Outcome outcome = Run({"--config", config(), "--jobs", "2", "--log", logFile, a, corrupt, c});
  EXPECT_EQ(outcome.status, 3) << outcome.err;
  EXPECT_NE(outcome.err.find(corrupt + "\n→ERROR:ファイルフォーマットが不正です。\n"), std::string::npos) << outcome.err;
  EXPECT_EQ(outcome.err.find("作業が終了しました。"), std::string::npos);
  EXPECT_EQ(outcome.out, (dir_ / "_thuma.jpg").string() + "\n");
  EXPECT_FALSE(fs::exists(dir_ / "_thumc.jpg"));
  EXPECT_EQ(ReadText(logFile), Cp932(corrupt + "\r\n→ERROR:ファイルフォーマットが不正です。\r\n\r\n"));
}

TEST_F(CliTest, BadUsageAndRefusedRunsGiveStatusTwo) {
  const std::string a = Picture("a.jpg");
  struct Row {
    std::vector<std::string> args;
    std::string inError;
  };
  const std::vector<Row> rows{
      {{}, "no PATH given"},
      {{"--frobnicate", a}, "unknown option --frobnicate"},
      {{"--config", config(), "--preset", "nope", a}, "no size preset named \"nope\""},
      {{"--config", config(), "--set", "Thumbnail/Mode=1", a}, "静止画用のサムネイル枠が設定されていません"},
      {{"--config", config(), (dir_ / "notes.txt").string()}, "リストがありません"},
  };
  for (const Row& row : rows) {
    const Outcome outcome = Run(row.args);
    EXPECT_EQ(outcome.status, 2) << row.inError;
    EXPECT_NE(outcome.err.find(row.inError), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
  EXPECT_FALSE(fs::exists(dir_ / "_thuma.jpg"));
}

TEST_F(CliTest, FoldersGiveTheirFilesByTheDropRules) {
  Picture("in/b.jpg");
  Picture("in/a.png");
  Picture("in/.hidden.jpg");
  Picture("in/deeper/c.gif");
  Picture("in/d.WebP");  // today's kinds are taken too, whole extensions in any letter case
  Garbage("in/notes.txt");
  const Outcome flat = Run({"--config", config(), "--quiet", "--set", "FileName/Mode=2", (dir_ / "in").string()});
  EXPECT_EQ(flat.status, 0) << flat.err;
  EXPECT_EQ(flat.out, (dir_ / "in" / "a_thum.jpg").string() + "\n" + (dir_ / "in" / "b_thum.jpg").string() + "\n" +
                          (dir_ / "in" / "d_thum.jpg").string() + "\n");

  fs::remove(dir_ / "in" / "a_thum.jpg");
  fs::remove(dir_ / "in" / "b_thum.jpg");
  fs::remove(dir_ / "in" / "d.WebP");
  fs::remove(dir_ / "in" / "d_thum.jpg");
  const Outcome deep = Run({"--config", config(), "--quiet", "--recursive", "--set", "FileName/Mode=2",
                            "--set", "Image/Mode=7", (dir_ / "in").string()});
  EXPECT_EQ(deep.status, 0) << deep.err;
  EXPECT_EQ(deep.out, (dir_ / "in" / "a_thum.webp").string() + "\n" + (dir_ / "in" / "b_thum.webp").string() + "\n" +
                          (dir_ / "in" / "deeper" / "c_thum.webp").string() + "\n");
  EXPECT_EQ(test::MagickIdentify((dir_ / "in" / "a_thum.webp").string(), "%m %wx%h"), "WEBP 64x48");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "stdout" && name != "stderr") names.push_back(entry.path().string());  // Run's own
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(CliTest, DryRunShowsTheNamesTheRunThenWritesAndWritesNothing) {
  const std::string p1 = Picture("in/a/p.jpg");
  const std::string p2 = Picture("in/b/p.png");
  const std::string p3 = Picture("in/b/P.gif");
  fs::create_directories(dir_ / "out");
  std::ofstream(dir_ / "out" / "P.JPG") << "x";  // taken without regard to case
  const std::string out = (dir_ / "out").string();
  const std::vector<std::string> settings{"--set", "Output/Mode=1", "--set", "Output/Path=" + out,
                                          "--set", "FileName/Mode=0"};
  auto args = [&](std::vector<std::string> extra) {
    std::vector<std::string> all{"--config", config()};
    all.insert(all.end(), settings.begin(), settings.end());
    all.insert(all.end(), extra.begin(), extra.end());
    all.push_back((dir_ / "in").string());
    return all;
  };
  const std::vector<std::string> before = Listing(dir_.path());

  const Outcome dry = Run(args({"--recursive", "--dry-run"}));
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, p1 + " -> " + out + "/_p.jpg  (renamed: 1 taken on disk)\n" +
                         p3 + " -> " + out + "/__p.jpg  (renamed: 1 taken on disk, 1 taken by earlier entries)\n" +
                         p2 + " -> " + out + "/___p.jpg  (renamed: 1 taken on disk, 2 taken by earlier entries)\n");
  EXPECT_NE(dry.err.find("dry run: 3 of 3 entries would be written"), std::string::npos) << dry.err;
  // Not even the config folder is created.
  EXPECT_EQ(Listing(dir_.path()), before);
  const Outcome dryJson = Run(args({"--recursive", "--dry-run", "--json"}));
  EXPECT_EQ(dryJson.status, 0) << dryJson.err;
  EXPECT_EQ(Listing(dir_.path()), before);

  const Outcome real = Run(args({"--recursive"}));
  EXPECT_EQ(real.status, 0) << real.err;
  std::string planned;
  for (const std::string& line : Lines(dry.out)) {
    const auto arrow = line.find(" -> ");
    planned += line.substr(arrow + 4, line.find("  (") - arrow - 4) + "\n";
  }
  EXPECT_EQ(real.out, planned);

  // The same names in the JSON of both: a dry run's "planned" is the run's "written".
  const Outcome again = Run(args({"--recursive", "--dry-run", "--json"}));
  const std::vector<std::string> dryLines = Lines(dryJson.out);
  ASSERT_EQ(dryLines.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const std::string name = Lines(planned)[i];
    EXPECT_NE(dryLines[i].find("\"output\": \"" + name + "\", \"outcome\": \"planned\""), std::string::npos)
        << dryLines[i];
  }
  // After the run its names are taken: the next plan moves on.
  EXPECT_NE(again.out.find(out + "/____p.jpg"), std::string::npos) << again.out;
}

// --scene auto and N% for the clips after them: the dry run's JSON gives the time each clip is
// taken at, and the run's thumbnail of a clip with a black leader shows the picture after it.
TEST_F(CliTest, SceneAutoAndShareOfTheLength) {
  const std::string clip = (dir_ / "leader.mp4").string();
  const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i "
                              "'color=black:s=96x72:r=25:d=2.2[a];testsrc2=s=96x72:r=25:d=27.8[b];[a][b]concat=n=2:v=1:a=0' "
                              "-c:v libx264 -g 50 -pix_fmt yuv420p " + Quote(clip);
  ASSERT_EQ(std::system(command.c_str()), 0);
  fs::copy_file(clip, dir_ / "auto.mp4");
  fs::copy_file(clip, dir_ / "share.mp4");
  const std::vector<std::string> paths{clip, "--scene", "auto", (dir_ / "auto.mp4").string(), "--scene", "50%",
                                       (dir_ / "share.mp4").string()};
  std::vector<std::string> args{"--config", config(), "--dry-run", "--json"};
  args.insert(args.end(), paths.begin(), paths.end());
  const Outcome dry = Run(args);
  ASSERT_EQ(dry.status, 0) << dry.err;
  const std::vector<std::string> lines = Lines(dry.out);
  ASSERT_EQ(lines.size(), 3u) << dry.out;
  EXPECT_NE(lines[0].find("\"scene\": 0}"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("\"scene\": 2.2}"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("\"scene\": 15}"), std::string::npos) << lines[2];

  std::vector<std::string> run{"--config", config(), "--set", "Image/Mode=2", "--quiet"};
  run.insert(run.end(), paths.begin(), paths.end());
  const Outcome made = Run(run);
  ASSERT_EQ(made.status, 0) << made.err;
  const auto mean = [](const fs::path& png) {
    const auto image = test::MagickDecode(png);
    double sum = 0;
    for (std::uint8_t v : image->pixels) sum += v;
    return sum / static_cast<double>(image->pixels.size());
  };
  EXPECT_LT(mean(dir_ / "_thumleader.png"), 5.0);  // no scene: the first frame, black
  EXPECT_GT(mean(dir_ / "_thumauto.png"), 60.0);
}

TEST_F(CliTest, DryRunStatusIsTheRunsWhereItCanBeKnown) {
  const std::string a = Picture("a.jpg");
  const std::string b = Picture("b.jpg");
  struct Row {
    std::vector<std::string> settings;
    int status;
    std::string line;  // in the dry run's output
  };
  const std::string nowhere = (dir_ / "nowhere").string();
  const std::vector<Row> rows{
      {{"--set", "Output/Mode=1", "--set", "Output/Path=" + nowhere}, 3,
       a + " -> error 76: the output folder " + nowhere + "/ does not exist; the run would end here\n" + b +
           " -> not reached\n"},
      {{"--set", "Thumbnail/Mode=1"}, 2, ""},
      {{"--set", "Image/Mode=9"}, 0, a + " -> no file: the image format setting saves none\n"},
      {{"--set", "FileName/Mode=2"}, 0, a + " -> " + (dir_ / "a_thum.jpg").string() + "\n"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args{"--config", config()};
    args.insert(args.end(), row.settings.begin(), row.settings.end());
    args.insert(args.end(), {a, b});
    std::vector<std::string> dryArgs = args;
    dryArgs.push_back("--dry-run");
    const Outcome dry = Run(dryArgs);
    EXPECT_EQ(dry.status, row.status) << row.line << dry.err;
    EXPECT_NE(dry.out.find(row.line), std::string::npos) << dry.out;
    const Outcome real = Run(args);
    EXPECT_EQ(real.status, row.status) << row.line << real.err;
    if (row.status == 3) {
      // The run's own log line stands on standard error of both.
      EXPECT_NE(dry.err.find(a + "\n→Error code: 76\n"), std::string::npos) << dry.err;
      EXPECT_NE(real.err.find(a + "\n→Error code: 76\n"), std::string::npos) << real.err;
    }
  }
}

// A photo tree with the switches of repeated runs: mirrored output, a damaged photo passed and
// listed for a retry, what is up to date and the program's own thumbnails left alone, shards.
TEST_F(CliTest, ATreeKeptGoneThroughRetriedAndSharded) {
  const test::PhotoTree tree(dir_.path());
  const fs::path out = dir_ / "OUT";
  fs::create_directories(out);
  const std::string failed = (dir_ / "failed.txt").string();
  auto args = [&](std::vector<std::string> extra) {
    std::vector<std::string> all{"--config", config(), "--quiet", "--recursive", "--jobs", "2", "--set",
                                 "Output/Mode=1", "--set", "Output/Path=" + out.string(), "--keep-tree"};
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
  };
  const std::string root = tree.root.string();

  const Outcome first = Run(args({"--set", "Batch/KeepGoing=1", "--failed-to", failed, root}));  // as the flag
  EXPECT_EQ(first.status, 1) << first.err;
  EXPECT_EQ(ReadText(failed), tree.damaged + "\n");
  EXPECT_NE(first.err.find(tree.damaged + "\n→ERROR:ファイルフォーマットが不正です。\n"), std::string::npos);
  for (const char* made : {"_thumb.jpg", "_thumimg_2.jpg", "2024/01-trip/_thumdsc_0003.jpg", "2024/02-party/_thumdsc_0001.jpg",
                           "out/_thumold.jpg"}) {
    EXPECT_EQ(test::MagickIdentify(out / made, "%m"), "JPEG") << made;
  }
  EXPECT_FALSE(fs::exists(out / "_thum_thumb.jpg"));  // the earlier thumbnail is no photo

  // What a second run would do.
  const Outcome plan = Run(args({"--skip-done", "--dry-run", root}));
  EXPECT_EQ(plan.status, 0) << plan.err;
  EXPECT_NE(plan.out.find(tree.earlierThumbnail + " -> skip: own output\n"), std::string::npos) << plan.out;
  EXPECT_NE(plan.out.find(root + "/b.jpg -> skip: up to date (" + (out / "_thumb.jpg").string() + ")\n"),
            std::string::npos)
      << plan.out;
  EXPECT_NE(plan.out.find(tree.damaged + " -> " + (out / "2024/01-trip/_thumdsc_0002.jpg").string() + "\n"),
            std::string::npos);

  // The list of failures is the next run's input, in either form.
  const std::string failedNul = (dir_ / "failed.nul").string();
  const Outcome retry = Run(args({"--keep-going", "-0", "--failed-to", failedNul, "--files-from", failedNul + ".in"}));
  EXPECT_EQ(retry.status, 2);  // no such list
  std::ofstream(failedNul + ".in", std::ios::binary) << tree.damaged << '\0';
  const Outcome again = Run(args({"--keep-going", "-0", "--failed-to", failedNul, "--files-from", failedNul + ".in"}));
  EXPECT_EQ(again.status, 1) << again.err;
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(ReadText(failedNul), tree.damaged + std::string(1, '\0'));
  const Outcome fromLines = Run(args({"--dry-run", "--files-from", failed}));
  EXPECT_EQ(Lines(fromLines.out).size(), 1u) << fromLines.out;

  // Three shards cover the input once; a shard with nothing to do is no error.
  const Outcome whole = Run(args({"--dry-run", root}));
  std::vector<std::string> all = Lines(whole.out);
  std::vector<std::string> sharded;
  for (int k = 1; k <= 3; ++k) {
    const Outcome part = Run(args({"--dry-run", "--shard", std::to_string(k) + "/3", root}));
    EXPECT_EQ(part.status, 0) << part.err;
    for (const std::string& line : Lines(part.out)) sharded.push_back(line);
  }
  std::sort(all.begin(), all.end());
  std::sort(sharded.begin(), sharded.end());
  EXPECT_EQ(sharded, all);
  const Outcome empty = Run(args({"--shard", "5/5", root + "/b.jpg"}));
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_EQ(empty.out, "");
}

// Parses every line of --json with Python's json module and prints what a script would use.
const char* const kJsonReader = R"(
import json, os, sys
for line in open(sys.argv[1], encoding="utf-8"):
    o = json.loads(line)
    assert sorted(o) == ["error_number", "error_text", "height", "outcome", "output", "path", "width"], sorted(o)
    out = o["output"]
    print("|".join([os.path.basename(os.fsencode(o["path"])).decode("utf-8", "replace"), o["outcome"],
                    str(o["error_number"]), str(o["width"]), str(o["height"]),
                    str(os.path.exists(os.fsencode(o["path"]))),
                    "-" if out is None else str(os.path.exists(os.fsencode(out))),
                    (o["error_text"] or "").replace("\n", "/")]))
)";

TEST_F(CliTest, JsonLinesReadByARealJsonParser) {
  if (std::system("python3 -c 'import json' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  const std::string a = Picture("a.jpg", "40x30");
  const std::string odd = Picture("o\xff\"\\.png", "20x60");  // not UTF-8, and JSON's own quote marks
  const std::string broken = Garbage("broken.avi");
  const std::string corrupt = Garbage("corrupt.jpg");
  const std::string c = Picture("c.jpg");
  const Outcome outcome = Run({"--config", config(), "--quiet", "--json", "--jobs", "1", a, odd, broken, corrupt, c});
  EXPECT_EQ(outcome.status, 3) << outcome.err;
  std::ofstream(dir_ / "reader.py") << kJsonReader;
  std::ofstream(dir_ / "lines.json") << outcome.out;
  const std::string command = "python3 " + Quote((dir_ / "reader.py").string()) + " " +
                              Quote((dir_ / "lines.json").string()) + " >" + Quote((dir_ / "parsed").string()) +
                              " 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadText(dir_ / "parsed") << outcome.out;
  EXPECT_EQ(ReadText(dir_ / "parsed"),
            "a.jpg|written|None|40|30|True|True|\n"
            "o\xEF\xBF\xBD\"\\.png|written|None|20|60|True|True|\n"
            "broken.avi|failed|-2147220891|None|None|True|-|→ERROR:正しいビデオフォーマットでないか、"
            "再生に必要なコーデックがインストールされていません。(-2147220891)\n"
            "corrupt.jpg|ended-run|20009|None|None|True|-|→ERROR:ファイルフォーマットが不正です。\n"
            "c.jpg|not-reached|None|None|None|True|-|\n");

  // A format setting that saves nothing: the entry was passed, no file.
  const Outcome none = Run({"--config", config(), "--quiet", "--json", "--set", "Image/Mode=9", a});
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_NE(none.out.find("\"output\": null, \"outcome\": \"no-file\""), std::string::npos) << none.out;
}

}  // namespace
}  // namespace mirelo::cli
