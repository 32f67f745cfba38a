// mirelo_capture_probe: probes clips or captures the frame at a position, for benchmarks and for
// looking at a clip the way the program sees it.
//
//   mirelo_capture_probe --probe CLIP...
//   mirelo_capture_probe [--threads N] [--out DIR] SECONDS CLIP...
//
// With --out, each captured frame is written as DIR/<n>.ppm (binary PPM, n = 1, 2, ...).

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/video/frame_capture.h"
#include "platform/video/media_probe.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: mirelo_capture_probe --probe CLIP...\n"
               "       mirelo_capture_probe [--threads N] [--out DIR] SECONDS CLIP...\n");
  return 2;
}

bool WritePpm(const std::filesystem::path& file, const mirelo::imaging::Image& image) {
  std::ofstream out(file, std::ios::binary);
  out << "P6\n" << image.width << ' ' << image.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool probe = false;
  mirelo::video::CaptureOptions options;
  std::filesystem::path outDir;
  std::size_t i = 0;
  for (; i < args.size() && args[i].starts_with("--"); ++i) {
    if (args[i] == "--probe") {
      probe = true;
    } else if (args[i] == "--threads" && i + 1 < args.size()) {
      options.threads = std::atoi(args[++i].c_str());
    } else if (args[i] == "--out" && i + 1 < args.size()) {
      outDir = args[++i];
    } else {
      return Usage();
    }
  }
  double seconds = 0.0;
  if (!probe) {
    if (i >= args.size()) return Usage();
    char* end = nullptr;
    seconds = std::strtod(args[i].c_str(), &end);
    if (end == args[i].c_str() || *end != '\0') return Usage();
    ++i;
  }
  if (i >= args.size()) return Usage();

  int status = 0;
  int count = 0;
  for (; i < args.size(); ++i) {
    const std::string& clip = args[i];
    try {
      if (probe) {
        const mirelo::video::MediaInfo info = mirelo::video::ProbeMedia(clip);
        std::printf("%s: video %d decoder %d size %dx%d sar %d/%d shown %dx%d duration %.6f fps %.6f rotation %d "
                    "mirrored %d audio %d\n",
                    clip.c_str(), info.hasVideo, info.decoderAvailable, info.width, info.height, info.sampleAspectNum,
                    info.sampleAspectDen, info.shownWidth, info.shownHeight, info.duration, info.frameRate,
                    info.rotation, info.mirrored, info.hasAudio);
      } else {
        const mirelo::imaging::Image image = mirelo::video::CaptureFrame(clip, seconds, options);
        ++count;
        std::printf("%s: %dx%d\n", clip.c_str(), image.width, image.height);
        if (!outDir.empty() && !WritePpm(outDir / (std::to_string(count) + ".ppm"), image)) {
          std::fprintf(stderr, "%s: cannot write the frame\n", clip.c_str());
          status = 1;
        }
      }
    } catch (const mirelo::Error& error) {
      std::fprintf(stderr, "%s: error %d: %s\n", clip.c_str(), error.number(), error.what());
      status = 1;
    }
  }
  return status;
}
