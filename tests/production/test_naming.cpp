// Output folder, name, extension, the underscore prefix, lower case, and never overwriting.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <vector>

#include "platform/error.h"
#include "production/naming.h"
#include "support/magick.h"
#include "support/temp_dir.h"

namespace mirelo::production {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; });
  return s;
}

// A folder tree in memory: full paths, compared without regard to case as the real test does.
struct FakeDisk {
  std::set<std::string> entries;
  std::vector<std::string> asked;
  NameTakenTest Test() {
    return [this](const std::string& folder, const std::string& fileName) {
      asked.push_back(folder + fileName);
      return entries.count(Lower(folder + fileName)) > 0;
    };
  }
  void Add(const std::string& path) { entries.insert(Lower(path)); }
};

app::ThumbSettings Defaults() {
  app::ThumbSettings s;
  s.FormatIndex = 0;
  s.NameMode = 0;
  s.NameText = "_thum";
  return s;
}

TEST(Naming, CasesOfTheNamingRules) {
  struct Row {
    const char* what;
    const char* source;
    std::int16_t outputMode;
    const char* outputPath;
    std::int16_t nameMode;
    const char* nameText;
    std::int16_t formatIndex;
    std::int16_t jpegExt;
    std::int16_t lowerCase;
    std::vector<std::string> existing;
    const char* expected;
    const char* root = "";  // the dropped folder the entry was found under
    std::int16_t keepTree = 0;
  };
  const std::vector<Row> rows = {
      {"the source takes its own name",
       "/pics/a.jpg",
       0,
       "",
       0,
       "",
       0,
       0,
       0,
       {"/pics/a.jpg"},
       "/pics/_a.jpg"},
      {"second run", "/pics/a.jpg", 0, "", 0, "", 0, 0, 0, {"/pics/a.jpg", "/pics/_a.jpg"}, "/pics/__a.jpg"},
      {"text behind", "/pics/a.jpg", 0, "", 2, "_thum", 0, 0, 0, {"/pics/a.jpg"}, "/pics/a_thum.jpg"},
      {"text behind, taken",
       "/pics/a.jpg",
       0,
       "",
       2,
       "_thum",
       0,
       0,
       0,
       {"/pics/a.jpg", "/pics/a_thum.jpg"},
       "/pics/_a_thum.jpg"},
      {"text in front", "/pics/a.jpg", 0, "", 1, "s_", 0, 0, 0, {"/pics/a.jpg"}, "/pics/s_a.jpg"},
      {"jpeg extension", "/pics/a.jpg", 0, "", 2, "_t", 1, 1, 0, {}, "/pics/a_t.jpeg"},
      {"output folder without separator", "/pics/a.jpg", 1, "/out", 0, "", 0, 0, 0, {}, "/out/a.jpg"},
      {"output folder with separator", "/pics/a.jpg", 1, "/out/", 0, "", 0, 0, 0, {}, "/out/a.jpg"},
      {"root as output folder", "/pics/a.jpg", 1, "/", 0, "", 2, 0, 0, {}, "/a.png"},
      {"lower case: only the file name", "/Pics/IMG_01.JPG", 0, "", 0, "", 2, 0, 1, {}, "/Pics/img_01.png"},
      {"lower case, taken in other case",
       "/Pics/IMG_01.JPG",
       0,
       "",
       0,
       "",
       2,
       0,
       1,
       {"/Pics/IMG_01.PNG"},
       "/Pics/_img_01.png"},
      {"a dot in the folder", "/a.b/photo.gif", 0, "", 0, "", 3, 0, 0, {}, "/a.b/photo.gif"},
      {"only the last extension goes", "/a/b.c.jpg", 0, "", 0, "", 6, 0, 0, {}, "/a/b.c.bmp"},
      {"case of the source counts", "/pics/A.JPG", 0, "", 0, "", 0, 0, 0, {"/pics/A.JPG"}, "/pics/_A.jpg"},
      {"pict and gif", "/pics/a.jpg", 0, "", 0, "", 5, 0, 0, {}, "/pics/a.pct"},
      {"no folder in the source", "a.jpg", 0, "", 0, "", 4, 0, 0, {}, "a.gif"},
      {"empty output folder is the current one", "/pics/a.jpg", 1, "", 0, "", 2, 0, 0, {}, "a.png"},
      {"no extension at all", "/pics/README", 0, "", 2, "_t", 2, 0, 0, {}, "/pics/README_t.png"},
      {"keep the tree below the dropped folder", "/p/2024/01-trip/DSC_0001.JPG", 1, "/out", 1, "_thum", 0, 0, 1, {},
       "/out/01-trip/_thumdsc_0001.jpg", "/p/2024", 1},
      {"keep the tree: names are taken per folder", "/p/2024/02-party/DSC_0001.JPG", 1, "/out/", 1, "_thum", 0, 0, 1,
       {"/out/_thumdsc_0001.jpg", "/out/01-trip/_thumdsc_0001.jpg"}, "/out/02-party/_thumdsc_0001.jpg", "/p/2024/", 1},
      {"keep the tree: folders keep their case", "/p/2024/Trip/A.JPG", 1, "/out", 0, "", 2, 0, 1, {},
       "/out/2024/Trip/a.png", "/p", 1},
      {"keep the tree: a file in the dropped folder itself", "/p/2024/a.jpg", 1, "/out", 0, "", 2, 0, 0, {},
       "/out/a.png", "/p/2024", 1},
      {"keep the tree: a file dropped by itself", "/p/2024/a.jpg", 1, "/out", 0, "", 2, 0, 0, {}, "/out/a.png", "", 1},
      {"keep the tree off", "/p/2024/01-trip/a.jpg", 1, "/out", 0, "", 2, 0, 0, {"/out/a.png"}, "/out/_a.png", "/p", 0},
      {"keep the tree without an output folder", "/p/2024/a.jpg", 0, "", 0, "", 2, 0, 0, {}, "/p/2024/a.png", "/p", 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    app::ThumbSettings s = Defaults();
    s.OutputMode = r.outputMode;
    s.OutputPath = r.outputPath;
    s.NameMode = r.nameMode;
    s.NameText = r.nameText;
    s.FormatIndex = r.formatIndex;
    s.JpegExt = r.jpegExt;
    s.LowerCaseName = r.lowerCase;
    s.KeepTree = r.keepTree;
    FakeDisk disk;
    for (const auto& e : r.existing) disk.Add(e);
    EXPECT_EQ(MakeOutputPath(OutputNamePartsFor(r.source, s, r.root), disk.Test()), r.expected);
  }
}

TEST(Naming, ExtensionsByFormat) {
  const std::vector<std::string> expected = {"jpg", "jpg", "png", "gif", "gif", "pct", "bmp", "webp"};
  for (std::int16_t i = 0; i < 8; ++i) EXPECT_EQ(OutputExtension(i, 0), expected[i]);
  EXPECT_EQ(OutputExtension(0, 1), "jpeg");
  EXPECT_EQ(OutputExtension(1, 1), "jpeg");
  EXPECT_EQ(OutputExtension(2, 1), "png");
  EXPECT_EQ(OutputExtension(7, 1), "webp");
  EXPECT_EQ(OutputExtension(8, 0), "");
  EXPECT_EQ(OutputExtension(-1, 0), "");
}

TEST(Naming, UnsetTextsAndUnknownModes) {
  app::ThumbSettings s = Defaults();
  s.NameMode = 2;
  s.NameText.reset();
  FakeDisk disk;
  EXPECT_EQ(MakeOutputPath("/p/a.jpg", s, disk.Test()), "/p/a.jpg");
  s.NameMode = 9;  // no rule: the source name
  s.NameText = "x";
  EXPECT_EQ(MakeOutputPath("/p/a.jpg", s, disk.Test()), "/p/a.jpg");
  s.OutputMode = 1;
  s.OutputPath.reset();
  EXPECT_EQ(MakeOutputPath("/p/a.jpg", s, disk.Test()), "a.jpg");
}

TEST(Naming, TheTestSeesTheWrittenName) {
  app::ThumbSettings s = Defaults();
  s.LowerCaseName = 1;
  s.FormatIndex = 2;
  FakeDisk disk;
  MakeOutputPath("/Pics/IMG.JPG", s, disk.Test());
  ASSERT_EQ(disk.asked.size(), 1u);
  EXPECT_EQ(disk.asked[0], "/Pics/img.png");
}

class NamingOnDisk : public ::testing::Test {
 protected:
  std::string Folder() const { return dir_.path().string() + "/"; }
  void Touch(const std::string& name, const std::string& content = "old") {
    std::ofstream(dir_ / name) << content;
  }
  test::TempDir dir_;
};

TEST_F(NamingOnDisk, AnyEntryOfTheNameIsTakenWhateverItsCase) {
  Touch("Photo.JPG");
  Touch(".hidden.png");
  std::filesystem::create_directory(dir_ / "folder.bmp");
  std::filesystem::create_symlink(dir_ / "nowhere", dir_ / "dangling.gif");
  EXPECT_TRUE(NameTakenOnDisk(Folder(), "Photo.JPG"));
  EXPECT_TRUE(NameTakenOnDisk(Folder(), "photo.jpg"));
  EXPECT_TRUE(NameTakenOnDisk(Folder(), "PHOTO.jpg"));
  EXPECT_TRUE(NameTakenOnDisk(Folder(), ".hidden.png"));
  EXPECT_TRUE(NameTakenOnDisk(Folder(), ".HIDDEN.png"));
  EXPECT_TRUE(NameTakenOnDisk(Folder(), "Folder.bmp"));
  EXPECT_TRUE(NameTakenOnDisk(Folder(), "dangling.gif"));
  EXPECT_FALSE(NameTakenOnDisk(Folder(), "photo.jpeg"));
  EXPECT_FALSE(NameTakenOnDisk(Folder(), "_photo.jpg"));
  // A missing folder holds nothing; the save reports it.
  EXPECT_FALSE(NameTakenOnDisk(Folder() + "missing/", "a.jpg"));
  EXPECT_FALSE(NameTakenOnDisk(Folder() + "Photo.JPG/", "a.jpg"));
}

TEST_F(NamingOnDisk, UnlistableFolderIsAnErrorUnlessTheNameIsThere) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  const std::filesystem::path locked = dir_ / "locked";
  std::filesystem::create_directory(locked);
  std::ofstream(locked / "a.jpg") << "x";
  ASSERT_EQ(::chmod(locked.c_str(), 0300), 0);  // write and search, no listing
  const std::string folder = locked.string() + "/";
  EXPECT_TRUE(NameTakenOnDisk(folder, "a.jpg"));
  try {
    NameTakenOnDisk(folder, "b.jpg");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kPathFileAccessError);
  }
  ::chmod(locked.c_str(), 0700);
}

TEST_F(NamingOnDisk, AFolderThatCannotBeOpenedIsAnError) {
  // A link pointing at itself cannot be opened, for root as for anyone.
  std::filesystem::create_symlink("loop", dir_ / "loop");
  try {
    NameTakenOnDisk(Folder() + "loop/", "a.jpg");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kPathFileAccessError);
  }
  app::ThumbSettings s = Defaults();
  s.OutputMode = 1;
  s.OutputPath = Folder() + "loop";
  EXPECT_THROW(MakeOutputPath("/p/a.jpg", s), Error);
}

TEST_F(NamingOnDisk, HiddenFilesAndFoldersAreNeverOverwritten) {
  Touch("a.jpg");
  Touch("_A.JPG");
  std::filesystem::create_directory(dir_ / "__a.jpg");
  app::ThumbSettings s = Defaults();
  EXPECT_EQ(MakeOutputPath(Folder() + "a.jpg", s), Folder() + "___a.jpg");

  Touch(".x.png");
  s.FormatIndex = 2;
  EXPECT_EQ(MakeOutputPath(Folder() + ".x.jpg", s), Folder() + "_.x.png");
}

TEST_F(NamingOnDisk, ANameTakenMeanwhileMovesToTheNextCandidate) {
  Touch("a.jpg");
  app::ThumbSettings s = Defaults();
  // Another program creates _a.jpg between the test and the creation.
  int calls = 0;
  const std::string written = WriteUnderFreeName(Folder() + "a.jpg", s, [&](const std::string& path) {
    if (++calls == 1) {
      EXPECT_EQ(path, Folder() + "_a.jpg");
      throw Error(err::kFileAlreadyExists);
    }
  });
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(written, Folder() + "__a.jpg");

  // Other errors are not retried.
  EXPECT_THROW(WriteUnderFreeName(Folder() + "a.jpg", s, [](const std::string&) { throw Error(76); }), Error);
}

TEST_F(NamingOnDisk, ExclusiveWriteLeavesAnExistingFileAlone) {
  Touch("a.jpg", "source");
  Touch("_a.jpg", "taken");
  app::ThumbSettings s = Defaults();
  const std::vector<std::uint8_t> bytes = {'n', 'e', 'w'};
  // A test that sees nothing: only the exclusive creation stands between us and the files.
  const NameTakenTest blind = [](const std::string&, const std::string&) { return false; };
  const std::string written = WriteBytesUnderFreeName(Folder() + "a.jpg", s, bytes, blind);
  EXPECT_EQ(written, Folder() + "__a.jpg");
  EXPECT_EQ(test::ReadFileBytes(dir_ / "a.jpg"), (std::vector<std::uint8_t>{'s', 'o', 'u', 'r', 'c', 'e'}));
  EXPECT_EQ(test::ReadFileBytes(dir_ / "_a.jpg"), (std::vector<std::uint8_t>{'t', 'a', 'k', 'e', 'n'}));
  EXPECT_EQ(test::ReadFileBytes(dir_ / "__a.jpg"), bytes);
}

TEST_F(NamingOnDisk, RunIndexListsOnceAndRemembersNamesHandedOut) {
  Touch("a.jpg");
  Touch("_A.JPG");
  RunNameIndex index;
  app::ThumbSettings s = Defaults();
  EXPECT_EQ(MakeOutputPath(Folder() + "a.jpg", s, index.Test()), Folder() + "__a.jpg");
  // Not written yet, but handed out: the next entry of the same name gets the next one.
  EXPECT_EQ(MakeOutputPath(Folder() + "A.jpg", s, index.Test()), Folder() + "___A.jpg");
  // An exact name created meanwhile is still seen.
  Touch("____a.jpg");
  EXPECT_EQ(MakeOutputPath(Folder() + "a.jpg", s, index.Test()), Folder() + "_____a.jpg");
  // Missing folders hold nothing.
  EXPECT_FALSE(index.Taken(Folder() + "missing/", "a.jpg"));
}

}  // namespace
}  // namespace mirelo::production
