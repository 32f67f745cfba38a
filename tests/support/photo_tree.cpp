#include "support/photo_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "support/magick.h"

namespace mirelo::test {

namespace fs = std::filesystem;

PhotoTree::PhotoTree(const fs::path& base) : root(base / "photos"), out(root / "out"), locked(root / "2024" / "locked") {
  fs::create_directories(root);
  const fs::path picture = root / "b.jpg";
  if (!MagickConvert({"-size", "48x32", "gradient:navy-orange", picture.string()})) {
    throw std::runtime_error("convert");
  }
  auto copy = [&](const fs::path& relative) {
    fs::create_directories((root / relative).parent_path());
    fs::copy_file(picture, root / relative);
  };
  for (const char* name : {"IMG_10.JPG", "IMG_2.jpg", ".hidden.jpg", ".cache/x.jpg", "2024/01-trip/DSC_0001.JPG",
                           "2024/01-trip/DSC_0003.JPG", "2024/02-party/DSC_0001.JPG", "out/old.jpg",
                           "2024/locked/z.jpg"}) {
    copy(name);
  }
  damaged = (root / "2024" / "01-trip" / "DSC_0002.JPG").string();
  std::ofstream(damaged, std::ios::binary) << "\xFF\xD8 not a picture";
  std::ofstream(root / "notes.txt") << "notes";
  earlierThumbnail = (root / "_thumb.jpg").string();
  copy("_thumb.jpg");
  fs::create_directory_symlink("..", root / "2024" / "loop");
  ::chmod(locked.c_str(), 0);
}

PhotoTree::~PhotoTree() { ::chmod(locked.c_str(), 0755); }

bool PhotoTree::LockedReadable() const { return ::access(locked.c_str(), R_OK | X_OK) == 0; }

std::vector<std::string> PhotoTree::Expected() const {
  std::vector<std::string> files;
  for (const char* name : {"b.jpg", "IMG_2.jpg", "IMG_10.JPG", "2024/01-trip/DSC_0001.JPG", "2024/01-trip/DSC_0002.JPG",
                           "2024/01-trip/DSC_0003.JPG", "2024/02-party/DSC_0001.JPG"}) {
    files.push_back((root / name).string());
  }
  if (LockedReadable()) files.push_back((locked / "z.jpg").string());
  return files;
}

}  // namespace mirelo::test
