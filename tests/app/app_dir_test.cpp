// AppDir resolution (design.md section 4).

#include "app/app_dir.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace mirelo::app {
namespace {

namespace fs = std::filesystem;

TEST(AppDirTest, WritableExecutableFolderIsTheAppDir) {
  test::TempDir dir;
  EXPECT_EQ(ResolveAppDir(dir.path(), nullptr, nullptr), dir.path());
}

TEST(AppDirTest, OtherwiseTheXdgConfigFolderCreatedOnDemand) {
  test::TempDir dir;
  const fs::path missing = dir / "no-such-folder";  // stands for a folder we cannot write
  const fs::path config = dir / "config";
  EXPECT_EQ(ResolveAppDir(missing, config.c_str(), "/nowhere"), config / "mirelo");
  EXPECT_TRUE(fs::is_directory(config / "mirelo"));

  const fs::path home = dir / "home";
  EXPECT_EQ(ResolveAppDir(missing, nullptr, home.c_str()), home / ".config" / "mirelo");
  EXPECT_EQ(ResolveAppDir(missing, "", home.c_str()), home / ".config" / "mirelo");
  EXPECT_EQ(ResolveAppDir(missing, "relative/dir", home.c_str()), home / ".config" / "mirelo");
  EXPECT_TRUE(fs::is_directory(home / ".config" / "mirelo"));
}

// Root may write /usr/bin; an installed program must still keep its INI files in the user's folder.
TEST(AppDirTest, SystemProgramFoldersAreNeverTheAppDir) {
  test::TempDir dir;
  const fs::path config = dir / "config";
  for (const char* folder :
       {"/usr/bin", "/usr/bin/", "/bin", "/usr/local/bin", "/usr/sbin", MIRELO_INSTALL_BINDIR}) {
    SCOPED_TRACE(folder);
    EXPECT_TRUE(IsSystemProgramFolder(folder));
    EXPECT_EQ(ResolveAppDir(folder, config.c_str(), "/nowhere"), config / "mirelo");
  }
  for (const fs::path& folder :
       {fs::path("/usr"), fs::path("/usr/bin/mirelo"), fs::path("/opt/mirelo/bin"), dir.path()}) {
    SCOPED_TRACE(folder);
    EXPECT_FALSE(IsSystemProgramFolder(folder));
  }
}

TEST(AppDirTest, ExecutableDirIsTheTestsFolder) {
  const auto exeDir = ExecutableDir();
  ASSERT_TRUE(exeDir.has_value());
  EXPECT_TRUE(fs::exists(*exeDir / "app_tests") || fs::is_directory(*exeDir));
}

}  // namespace
}  // namespace mirelo::app
