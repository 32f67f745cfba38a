#include "test_still_tools.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

extern char** environ;

namespace mirelo::test {

bool RunTool(const std::vector<std::string>& argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool HasTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    if (::access((dirs.substr(start, end - start) + "/" + name).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

namespace {

// One IFD of a little-endian TIFF: entries in tag order, values longer than four bytes placed
// after the IFD itself.
class Ifd {
 public:
  void Add(unsigned tag, unsigned type, std::uint32_t count, std::vector<std::uint8_t> value) {
    entries_.push_back({tag, type, count, std::move(value)});
  }
  void Short(unsigned tag, std::initializer_list<unsigned> v) {
    std::vector<std::uint8_t> b;
    for (unsigned x : v) b.insert(b.end(), {std::uint8_t(x), std::uint8_t(x >> 8)});
    Add(tag, 3, std::uint32_t(v.size()), b);
  }
  void Long(unsigned tag, std::uint32_t x) { Add(tag, 4, 1, Le32(x)); }
  void Ascii(unsigned tag, const std::string& text) {
    std::vector<std::uint8_t> b(text.begin(), text.end());
    b.push_back(0);
    Add(tag, 2, std::uint32_t(b.size()), b);
  }
  void Rationals(unsigned tag, unsigned type,
                 std::initializer_list<std::pair<std::int32_t, std::int32_t>> v) {
    std::vector<std::uint8_t> b;
    for (auto [n, d] : v) {
      const auto ln = Le32(std::uint32_t(n)), ld = Le32(std::uint32_t(d));
      b.insert(b.end(), ln.begin(), ln.end());
      b.insert(b.end(), ld.begin(), ld.end());
    }
    Add(tag, type, std::uint32_t(v.size()), b);
  }
  std::size_t Size() const {
    std::size_t n = 2 + 12 * entries_.size() + 4;
    for (const auto& e : entries_) n += e.value.size() > 4 ? (e.value.size() + 1) / 2 * 2 : 0;
    return n;
  }
  // Appends the IFD, which starts at out.size().
  void Write(std::vector<std::uint8_t>& out) const {
    std::vector<Entry> sorted = entries_;
    std::sort(sorted.begin(), sorted.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    const std::size_t start = out.size();
    std::size_t extra = start + 2 + 12 * sorted.size() + 4;
    std::vector<std::uint8_t> tail;
    out.insert(out.end(), {std::uint8_t(sorted.size()), std::uint8_t(sorted.size() >> 8)});
    for (const Entry& e : sorted) {
      out.insert(out.end(), {std::uint8_t(e.tag), std::uint8_t(e.tag >> 8), std::uint8_t(e.type), 0});
      const auto count = Le32(e.count);
      out.insert(out.end(), count.begin(), count.end());
      if (e.value.size() <= 4) {
        std::vector<std::uint8_t> v = e.value;
        v.resize(4, 0);
        out.insert(out.end(), v.begin(), v.end());
      } else {
        const auto at = Le32(std::uint32_t(extra + tail.size()));
        out.insert(out.end(), at.begin(), at.end());
        tail.insert(tail.end(), e.value.begin(), e.value.end());
        if (tail.size() % 2) tail.push_back(0);
      }
    }
    out.insert(out.end(), {0, 0, 0, 0});
    out.insert(out.end(), tail.begin(), tail.end());
  }
  static std::vector<std::uint8_t> Le32(std::uint32_t x) {
    return {std::uint8_t(x), std::uint8_t(x >> 8), std::uint8_t(x >> 16), std::uint8_t(x >> 24)};
  }

 private:
  struct Entry {
    unsigned tag, type;
    std::uint32_t count;
    std::vector<std::uint8_t> value;
  };
  std::vector<Entry> entries_;
};

}  // namespace

std::vector<std::uint8_t> MakeDng(const DngSpec& spec) {
  // Sensor data first, right after the header; the IFDs follow.
  std::vector<std::uint8_t> out = {'I', 'I', 42, 0, 0, 0, 0, 0};
  const std::uint32_t previewAt = std::uint32_t(out.size());
  out.insert(out.end(), spec.previewJpeg.begin(), spec.previewJpeg.end());
  if (out.size() % 2) out.push_back(0);
  const std::uint32_t rawAt = std::uint32_t(out.size());
  for (int y = 0; y < spec.height; ++y) {
    for (int x = 0; x < spec.width; ++x) {
      const unsigned rgb[3] = {unsigned(x * 60000 / std::max(1, spec.width - 1)),
                               unsigned(y * 60000 / std::max(1, spec.height - 1)), 12000u};
      if (spec.cfa) {
        const unsigned v = rgb[(y % 2) + (x % 2)];  // R G / G B
        out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
      } else {
        for (unsigned v : rgb) out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
      }
    }
  }
  const std::uint32_t rawBytes = std::uint32_t(out.size()) - rawAt;

  Ifd raw;
  raw.Long(254, 0);
  raw.Long(256, std::uint32_t(spec.width));
  raw.Long(257, std::uint32_t(spec.height));
  if (spec.cfa) {
    raw.Short(258, {16});
    raw.Short(262, {32803});  // CFA
    raw.Short(277, {1});
    raw.Short(33421, {2, 2});            // CFARepeatPatternDim
    raw.Add(33422, 1, 4, {0, 1, 1, 2});  // CFAPattern: RGGB
  } else {
    raw.Short(258, {16, 16, 16});
    raw.Short(262, {34892});  // LinearRaw
    raw.Short(277, {3});
  }
  raw.Short(259, {1});
  raw.Long(273, rawAt);
  raw.Long(278, std::uint32_t(spec.height));
  raw.Long(279, rawBytes);
  raw.Short(284, {1});
  raw.Short(50717, {65535});  // WhiteLevel

  auto cameraTags = [&](Ifd& ifd) {
    ifd.Ascii(271, "Mirelo");
    ifd.Ascii(272, "Test Camera");
    ifd.Short(274, {unsigned(spec.orientation)});
    ifd.Add(50706, 1, 4, {1, 4, 0, 0});  // DNGVersion
    ifd.Ascii(50708, "Mirelo Test Camera");
    // XYZ (D65) to camera: the camera sees linear sRGB.
    ifd.Rationals(50721, 10,
                  {{32406, 10000},
                   {-15372, 10000},
                   {-4986, 10000},
                   {-9689, 10000},
                   {18758, 10000},
                   {415, 10000},
                   {557, 10000},
                   {-2040, 10000},
                   {10570, 10000}});
    ifd.Rationals(50728, 5, {{1, 1}, {1, 1}, {1, 1}});  // AsShotNeutral
    ifd.Short(50778, {21});                             // CalibrationIlluminant1: D65
  };
  const std::uint32_t ifd0At = std::uint32_t(out.size());
  for (int i = 0; i < 4; ++i) out[4 + std::size_t(i)] = std::uint8_t(ifd0At >> (8 * i));
  if (spec.previewJpeg.empty()) {
    cameraTags(raw);
    raw.Write(out);
    return out;
  }
  Ifd main;
  cameraTags(main);
  main.Long(254, 1);  // a reduced-resolution picture
  main.Long(256, std::uint32_t(spec.previewWidth));
  main.Long(257, std::uint32_t(spec.previewHeight));
  main.Short(258, {8, 8, 8});
  main.Short(259, {7});  // JPEG
  main.Short(262, {6});  // YCbCr
  main.Long(273, previewAt);
  main.Short(277, {3});
  main.Long(278, std::uint32_t(spec.previewHeight));
  main.Long(279, std::uint32_t(spec.previewJpeg.size()));
  main.Short(284, {1});
  const std::size_t mainSize = main.Size() + 12;  // with the SubIFDs entry added below
  main.Long(330, std::uint32_t(out.size() + mainSize));
  main.Write(out);
  raw.Write(out);
  return out;
}

}  // namespace mirelo::test
