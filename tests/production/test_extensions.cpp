// Supported types (GetFileExt, ExtOK, the kind rule) and which dropped paths are taken.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <vector>

#include "production/extensions.h"
#include "production/folder_reader.h"
#include "support/photo_tree.h"
#include "support/temp_dir.h"

namespace mirelo::production {
namespace {

TEST(Extensions, GetFileExt) {
  EXPECT_EQ(GetFileExt(""), "");
  EXPECT_EQ(GetFileExt("/pics/a.jpg"), "jpg");
  EXPECT_EQ(GetFileExt("/pics/b.c.JPEG"), "JPEG");
  EXPECT_EQ(GetFileExt("/pics/README"), "");
  EXPECT_EQ(GetFileExt("/pics/name."), "");
  // The scan does not stop at a folder.
  EXPECT_EQ(GetFileExt("/my.pics/photo"), "pics/photo");
}

TEST(Extensions, ExtOKPositionsAndKinds) {
  struct Row {
    const char* name;
    std::int16_t position;
  };
  const std::vector<Row> rows = {
      {"/v/a.avi", 1},
      {"/v/a.mpeg", 5},
      {"/v/a.mpg", 10},
      {"/v/a.wmv", 14},
      {"/v/a.asf", 18},
      {"/v/a.flv", 22},
      {"/p/a.jpg", 29},
      {"/p/a.jpeg", 33},
      {"/p/a.bmp", 38},
      {"/p/a.gif", 42},
      {"/p/a.png", 46},
      {"/p/a.pct", 50},
      {"/p/a.tif", 54},
      // Lowered before the search.
      {"/p/PHOTO.JPG", 29},
      {"/v/CLIP.Avi", 1},
      // A substring search: parts of listed extensions are found too.
      {"/v/clip.mp", 5},
      {"/v/clip.peg", 6},
      {"/p/pic.ng", 47},
      {"/p/x.jp", 29},
      {"/x/x.v a", 16},
      {"/x/x.flv    jpg", 22},
      // No extension: found at 1, a video.
      {"/x/README", 1},
      {"/x/name.", 1},
      // Not supported.
      {"/my.pics/photo", 0},
      {"/x/a.tiff", 0},
      {"/x/a.mp4", 0},
      {"/x/a.txt", 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ExtOK(r.name), r.position) << r.name;
  }
  EXPECT_EQ(KindOf("/v/a.flv"), EntryKind::Video);
  EXPECT_EQ(KindOf("/p/a.jpg"), EntryKind::Still);
  EXPECT_EQ(KindOf("/x/README"), EntryKind::Video);
  EXPECT_EQ(KindFromPosition(26), EntryKind::Video);
  EXPECT_EQ(KindFromPosition(27), EntryKind::Still);
}

TEST(Extensions, TodaysKindsAreWholeExtensionsBesideExtOK) {
  struct Row {
    const char* name;
    std::optional<EntryKind> kind;
  };
  const std::vector<Row> rows = {
      {"/p/IMG_0001.HEIC", EntryKind::Still}, {"/p/a.heif", EntryKind::Still}, {"/p/a.hif", EntryKind::Still},
      {"/p/a.avif", EntryKind::Still},        {"/p/a.WebP", EntryKind::Still}, {"/p/a.jxl", EntryKind::Still},
      {"/p/a.tiff", EntryKind::Still},        {"/p/a.jfif", EntryKind::Still}, {"/p/a.pict", EntryKind::Still},
      {"/p/DSC_0003.NEF", EntryKind::Still},  {"/p/a.dng", EntryKind::Still},  {"/p/a.cr3", EntryKind::Still},
      {"/p/a.ARW", EntryKind::Still},         {"/p/a.rw2", EntryKind::Still},  {"/p/a.3fr", EntryKind::Still},
      {"/v/IMG_0002.MOV", EntryKind::Video},  {"/v/a.mp4", EntryKind::Video},  {"/v/a.m4v", EntryKind::Video},
      {"/v/a.qt", EntryKind::Video},          {"/v/a.MKV", EntryKind::Video},  {"/v/a.webm", EntryKind::Video},
      {"/v/a.3gp", EntryKind::Video},         {"/v/a.3g2", EntryKind::Video},  {"/v/a.ts", EntryKind::Video},
      {"/v/a.mts", EntryKind::Video},         {"/v/a.m2ts", EntryKind::Video}, {"/v/a.ogv", EntryKind::Video},
      {"/v/a.vob", EntryKind::Video},
      // ExtOK keeps its say where it finds anything: "jpe" lies in "jpeg", README at 1.
      {"/p/a.jpe", EntryKind::Still},         {"/x/README", EntryKind::Video}, {"/v/clip.mp", EntryKind::Video},
      // Whole extensions only: neither parts nor longer names of the new ones.
      {"/x/a.mp", EntryKind::Video},  // ExtOK's substring rule, not the new table
      {"/x/a.mp44", std::nullopt},            {"/x/a.heicx", std::nullopt},    {"/x/a.eic", std::nullopt},
      {"/x/a.txt", std::nullopt},             {"/my.pics/photo", std::nullopt}, {"/x.mov/photo", std::nullopt},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(SupportedKind(r.name), r.kind) << r.name;
  }
}

class DropTest : public ::testing::Test {
 protected:
  std::string Make(const std::string& name) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path) << "x";
    return path;
  }
  test::TempDir dir_;
};

TEST_F(DropTest, AcceptsRegularFilesAndSkipsEverythingElse) {
  const std::string photo = Make("photo.jpg");
  const std::string clip = Make("clip.avi");
  const std::string upper = Make("PHOTO.JPG");
  const std::string noExt = Make("README");
  const std::string hidden = Make(".hidden.jpg");
  const std::string text = Make("notes.txt");
  const std::string folder = (dir_ / "folder.jpg").string();
  std::filesystem::create_directory(folder);
  Make("folder.jpg/inside.jpg");
  const std::string fifo = (dir_ / "pipe.jpg").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string link = (dir_ / "link.png").string();
  std::filesystem::create_symlink(photo, link);
  const std::string dangling = (dir_ / "dangling.png").string();
  std::filesystem::create_symlink(dir_ / "nowhere.png", dangling);
  const std::string linkToFolder = (dir_ / "dirlink.jpg").string();
  std::filesystem::create_directory_symlink(folder, linkToFolder);
  const std::string device = "/dev/null";
  const std::string missing = (dir_ / "missing.jpg").string();

  const std::vector<std::string> listed = {clip};
  EXPECT_EQ(CheckDropPath(photo, listed), DropVerdict::Accepted);
  EXPECT_EQ(CheckDropPath(upper, listed), DropVerdict::Accepted);
  EXPECT_EQ(CheckDropPath(noExt, listed), DropVerdict::Accepted);
  EXPECT_EQ(CheckDropPath(link, listed), DropVerdict::Accepted);
  EXPECT_EQ(CheckDropPath(clip, listed), DropVerdict::AlreadyListed);
  EXPECT_EQ(CheckDropPath(hidden, listed), DropVerdict::Hidden);
  EXPECT_EQ(CheckDropPath(text, listed), DropVerdict::Unsupported);
  EXPECT_EQ(CheckDropPath(folder, listed), DropVerdict::NotRegularFile);
  EXPECT_EQ(CheckDropPath(fifo, listed), DropVerdict::NotRegularFile);
  EXPECT_EQ(CheckDropPath(linkToFolder, listed), DropVerdict::NotRegularFile);
  EXPECT_EQ(CheckDropPath(device, listed), DropVerdict::NotRegularFile);
  EXPECT_EQ(CheckDropPath(dangling, listed), DropVerdict::Missing);
  EXPECT_EQ(CheckDropPath(missing, listed), DropVerdict::Missing);
  EXPECT_EQ(CheckDropPath("", listed), DropVerdict::Missing);

  // A socket is no file either.
  const std::string socketPath = (dir_ / "s.jpg").string();
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() < sizeof addr.sun_path) {
    socketPath.copy(addr.sun_path, socketPath.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(CheckDropPath(socketPath, listed), DropVerdict::NotRegularFile);
  }
  ::close(fd);
}

TEST_F(DropTest, OneDropKeepsOrderAndTakesEachPathOnce) {
  const std::string a = Make("a.jpg");
  const std::string b = Make("b.avi");
  const std::string c = Make("C.JPG");
  const std::string hidden = Make(".c.jpg");
  const std::string folder = (dir_ / "sub").string();
  std::filesystem::create_directory(folder);
  // The same file spelt in another way is another entry; the same text is one.
  const std::string aOtherSpelling = (dir_ / "." / "a.jpg").string();

  const std::vector<std::string> accepted =
      AcceptDroppedPaths({b, a, folder, hidden, a, c, aOtherSpelling, b}, {b});
  EXPECT_EQ(accepted, (std::vector<std::string>{a, c, aOtherSpelling}));
  EXPECT_TRUE(AcceptDroppedPaths({}, {a}).empty());
}

TEST(FolderOrder, AsAFileManagerShowsNames) {
  // Each row in the order expected; a byte compare would order most of them otherwise.
  const std::vector<std::vector<std::string>> rows = {
      {"IMG_2.JPG", "img_3.jpg", "IMG_10.JPG", "IMG_100.jpg"},
      {"a.jpg", "B.jpg", "c.jpg"},
      {"_thumb.jpg", "a.jpg"},
      {"DSC_0001.JPG", "DSC_2.JPG", "DSC_0010.JPG"},
      {"x01.jpg", "x1.jpg", "x1a.jpg", "x2.jpg"},  // equal values fall back to the bytes
      {"2024", "2024-01", "2025"},
      {"99999999999999999999.jpg", "100000000000000000000.jpg"},  // past any integer type
  };
  for (const auto& row : rows) {
    for (std::size_t i = 0; i + 1 < row.size(); ++i) {
      EXPECT_TRUE(NaturalLess(row[i], row[i + 1])) << row[i] << " < " << row[i + 1];
      EXPECT_FALSE(NaturalLess(row[i + 1], row[i])) << row[i + 1] << " !< " << row[i];
    }
    EXPECT_FALSE(NaturalLess(row[0], row[0]));
  }
}

TEST(FolderOrder, FolderBelowTheRoot) {
  EXPECT_EQ(FolderBelowRoot("/p/2024/01/a.jpg", "/p"), "2024/01");
  EXPECT_EQ(FolderBelowRoot("/p/2024/01/a.jpg", "/p/2024/"), "01");
  EXPECT_EQ(FolderBelowRoot("/p/a.jpg", "/p"), "");
  EXPECT_EQ(FolderBelowRoot("/pq/a.jpg", "/p"), std::nullopt);
  EXPECT_EQ(FolderBelowRoot("/p/a.jpg", ""), std::nullopt);
  EXPECT_EQ(FolderBelowRoot("/a/b.jpg", "/"), "a");
}

TEST(FolderReader, TakesATreeAsAFileManagerShowsIt) {
  test::TempDir dir;
  const test::PhotoTree tree(dir.path());
  const std::string root = tree.root.string();
  app::ThumbSettings settings;
  settings.NameMode = 1;
  settings.NameText = "_thum";
  settings.OutputMode = 1;
  settings.OutputPath = tree.out.string();
  const std::vector<std::string> unreadable =
      tree.LockedReadable() ? std::vector<std::string>{} : std::vector<std::string>{tree.locked.string()};

  struct Row {
    const char* what;
    std::string root;
    bool recursive;
    const app::ThumbSettings* settings;
    std::vector<std::string> files;
    std::vector<std::string> ownOutput;
  };
  std::vector<std::string> everything = tree.Expected();
  everything.insert(everything.begin(), tree.earlierThumbnail);
  everything.push_back((tree.out / "old.jpg").string());
  const std::vector<Row> rows = {
      {"output folder inside, earlier thumbnail", root + "/", true, &settings, tree.Expected(), {tree.earlierThumbnail}},
      {"no own-output rule", root, true, nullptr, everything, {}},
      {"the folder's own files only", root, false, &settings,
       {root + "/b.jpg", root + "/IMG_2.jpg", root + "/IMG_10.JPG"}, {tree.earlierThumbnail}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FolderReadOptions options;
    options.recursive = row.recursive;
    options.settings = row.settings;
    std::vector<std::string> reported;
    options.onFolderDone = [&](const std::vector<std::string>& files) {
      reported.insert(reported.end(), files.begin(), files.end());
    };
    const FolderReadResult result = ReadFolderTree(row.root, options);
    EXPECT_EQ(result.files, row.files);
    EXPECT_EQ(reported, row.files);
    EXPECT_EQ(result.ownOutput, row.ownOutput);
    EXPECT_EQ(result.unreadable, row.recursive ? unreadable : std::vector<std::string>{});
  }

  // The output folder dropped itself is read; a folder that is not there is reported.
  EXPECT_EQ(ReadFolderTree(tree.out.string(), {true, &settings, nullptr, {}}).files,
            std::vector<std::string>{(tree.out / "old.jpg").string()});
  const FolderReadResult missing = ReadFolderTree(root + "/nowhere", {});
  EXPECT_TRUE(missing.files.empty());
  EXPECT_EQ(missing.unreadable, std::vector<std::string>{root + "/nowhere"});
  EXPECT_EQ(FolderUnreadableMessage("/p/x"), "/p/x\r\n→ERROR:フォルダーを読み込めません。");
}

TEST(FolderReader, OwnOutputNamesFollowTheNamingRule) {
  struct Row {
    const char* what;
    std::int16_t nameMode;
    const char* nameText;
    std::int16_t format;
    std::vector<std::string> siblings;
    std::vector<std::string> own;  // of the siblings, in their order
  };
  const std::vector<Row> rows = {
      {"text in front, any run of underscores", 1, "_thum", 0,
       {"a.png", "_thuma.jpg", "__thuma.jpg", "_thumb.jpg", "_THUMA.JPG", "x_thuma.jpg"},
       {"_thuma.jpg", "__thuma.jpg", "_THUMA.JPG"}},
      {"same name: the source is not its own thumbnail", 0, "", 0, {"a.jpg", "_a.jpg", "__a.jpg", "b.png"},
       {"_a.jpg", "__a.jpg"}},
      {"text behind, png", 2, "_t", 2, {"a.jpg", "a_t.png", "_a_t.png", "a_t.jpg"}, {"a_t.png", "_a_t.png"}},
      {"a thumbnail of a thumbnail", 1, "_thum", 0, {"a.jpg", "_thuma.jpg", "_thum_thuma.jpg"},
       {"_thuma.jpg", "_thum_thuma.jpg"}},
      {"a format that saves nothing", 1, "_thum", 9, {"a.jpg", "_thuma.jpg"}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    app::ThumbSettings s;
    s.NameMode = row.nameMode;
    s.NameText = row.nameText;
    s.FormatIndex = row.format;
    const OwnOutputNames names(row.siblings, s);
    std::vector<std::string> own;
    for (const std::string& name : row.siblings) {
      if (names.IsOwnOutput(name)) own.push_back(name);
    }
    EXPECT_EQ(own, row.own);
  }
}

}  // namespace
}  // namespace mirelo::production
