#include "support/magick.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

extern char** environ;

namespace mirelo::test {
namespace {

// Runs a program, returns its exit status and standard output.
int Run(const std::vector<std::string>& argv, std::string* out) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipefd[0]);
  posix_spawn_file_actions_addclose(&actions, pipefd[1]);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipefd[1]);
  if (rc != 0) {
    close(pipefd[0]);
    return -1;
  }
  char buf[65536];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof buf)) > 0) {
    if (out) out->append(buf, static_cast<std::size_t>(n));
  }
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

imaging::Image AsRgb(const imaging::Image& in) {
  if (in.format == imaging::PixelFormat::Rgb24) return in;
  imaging::Image out = imaging::Image::blank(in.width, in.height);
  for (std::size_t i = 0; i < in.pixels.size(); ++i) {
    imaging::Rgb c;
    if (in.format == imaging::PixelFormat::Gray8) {
      c = {in.pixels[i], in.pixels[i], in.pixels[i]};
    } else if (in.pixels[i] < in.palette.size()) {
      c = in.palette[in.pixels[i]];
    }
    out.pixels[3 * i] = c.r;
    out.pixels[3 * i + 1] = c.g;
    out.pixels[3 * i + 2] = c.b;
  }
  return out;
}

}  // namespace

bool MagickConvert(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"convert"};
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(argv, nullptr) == 0;
}

std::optional<imaging::Image> MagickDecode(const std::filesystem::path& file) {
  std::string size = MagickIdentify(file, "%w %h");
  int w = 0, h = 0;
  if (std::sscanf(size.c_str(), "%d %d", &w, &h) != 2 || w <= 0 || h <= 0) return std::nullopt;
  std::string rgb;
  // -auto-orient so EXIF-rotated files compare upright; the first frame only. Flattened first:
  // after a transposing -auto-orient the page geometry keeps the old shape and -flatten would
  // scramble the picture.
  if (Run({"convert", file.string() + "[0]", "-background", "white", "-flatten", "-auto-orient", "-depth", "8",
           "rgb:-"},
          &rgb) != 0) {
    return std::nullopt;
  }
  // The size after -auto-orient may be swapped.
  std::size_t expected = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3;
  if (rgb.size() != expected) return std::nullopt;
  std::string oriented = MagickIdentify(file, "%[orientation]");
  if (oriented == "LeftTop" || oriented == "RightTop" || oriented == "RightBottom" || oriented == "LeftBottom") {
    std::swap(w, h);
  }
  imaging::Image image = imaging::Image::blank(w, h);
  image.pixels.assign(rgb.begin(), rgb.end());
  return image;
}

std::string MagickIdentify(const std::filesystem::path& file, const std::string& format) {
  std::string out;
  if (Run({"identify", "-format", format, file.string() + "[0]"}, &out) != 0) return {};
  return out;
}

double Psnr(const imaging::Image& a, const imaging::Image& b) {
  imaging::Image ra = AsRgb(a), rb = AsRgb(b);
  if (ra.width != rb.width || ra.height != rb.height || ra.pixels.size() != rb.pixels.size()) return 0.0;
  double sum = 0;
  for (std::size_t i = 0; i < ra.pixels.size(); ++i) {
    double d = double(ra.pixels[i]) - double(rb.pixels[i]);
    sum += d * d;
  }
  if (sum == 0) return std::numeric_limits<double>::infinity();
  double mse = sum / double(ra.pixels.size());
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

int MaxChannelDifference(const imaging::Image& a, const imaging::Image& b) {
  imaging::Image ra = AsRgb(a), rb = AsRgb(b);
  if (ra.width != rb.width || ra.height != rb.height || ra.pixels.size() != rb.pixels.size()) return 256;
  int worst = 0;
  for (std::size_t i = 0; i < ra.pixels.size(); ++i) {
    worst = std::max(worst, std::abs(int(ra.pixels[i]) - int(rb.pixels[i])));
  }
  return worst;
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace mirelo::test
