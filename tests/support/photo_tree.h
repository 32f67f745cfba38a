#pragma once

// A photo library as people keep one, made at test time: sub folders, names a file manager and
// a byte compare sort apart, a hidden file and folder, a link loop, a folder nobody can read, an
// earlier thumbnail, a folder for output inside the tree, the same camera name in two folders and
// a damaged JPEG between good ones.

#include <filesystem>
#include <string>
#include <vector>

namespace mirelo::test {

class PhotoTree {
 public:
  // Under base/"photos". Pictures are small real JPEGs (one made by ImageMagick, copied).
  explicit PhotoTree(const std::filesystem::path& base);
  ~PhotoTree();  // gives the locked folder its permissions back, so it can be removed
  PhotoTree(const PhotoTree&) = delete;
  PhotoTree& operator=(const PhotoTree&) = delete;

  std::filesystem::path root;    // base/photos
  std::filesystem::path out;     // root/out: an output folder inside the tree, holding old.jpg
  std::filesystem::path locked;  // root/2024/locked: cannot be listed (except by root)
  std::string damaged;           // root/2024/01-trip/DSC_0002.JPG
  std::string earlierThumbnail;  // root/_thumb.jpg: b.jpg's thumbnail under the default naming

  // The supported files a folder drop of root takes, in order, with root/out as the output
  // folder (the locked folder's file only when it can be read).
  std::vector<std::string> Expected() const;
  bool LockedReadable() const;
};

}  // namespace mirelo::test
