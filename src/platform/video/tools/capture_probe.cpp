// mirelo_capture_probe: probes clips or captures the frame at a position, for benchmarks and for
// looking at a clip the way the program sees it.
//
//   mirelo_capture_probe --probe CLIP...
//   mirelo_capture_probe [--threads N] [--jobs N] [--full] [--out DIR] SECONDS CLIP...
//
// SECONDS "auto" captures each clip at its first frame that shows something (the auto scene)
// and prints the position found.
// With --out, each captured frame is written as DIR/<n>.ppm (binary PPM, n = 1, 2, ... in the
// order of the clips). --jobs N captures N clips at once as the batch engine does: each capture
// then decodes on twice its share of the cores (at least two threads, at most every core) unless
// --threads says otherwise. --full decodes every frame from the clip's start (the reference the
// fast path must equal).

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/video/frame_capture.h"
#include "platform/video/media_probe.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: mirelo_capture_probe --probe CLIP...\n"
               "       mirelo_capture_probe [--threads N] [--jobs N] [--full] [--out DIR] SECONDS|auto CLIP...\n");
  return 2;
}

bool WritePpm(const std::filesystem::path& file, const mirelo::imaging::Image& image) {
  std::ofstream out(file, std::ios::binary);
  out << "P6\n" << image.width << ' ' << image.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
  return static_cast<bool>(out);
}

// What one capture gave, printed in the order of the clips.
struct Outcome {
  std::string line;
  bool failed = false;
};

Outcome Capture(const std::string& clip, std::optional<double> seconds, const mirelo::video::CaptureOptions& options,
                const std::filesystem::path& outDir, int number) {
  try {
    double position = seconds ? *seconds : 0.0;
    const mirelo::imaging::Image image = seconds ? mirelo::video::CaptureFrame(clip, position, options)
                                                 : mirelo::video::CaptureAutoScene(clip, position, options);
    if (!outDir.empty() && !WritePpm(outDir / (std::to_string(number) + ".ppm"), image)) {
      return {clip + ": cannot write the frame", true};
    }
    std::string line = clip + ": " + std::to_string(image.width) + "x" + std::to_string(image.height);
    if (!seconds) line += " at " + std::to_string(position);
    return {line, false};
  } catch (const mirelo::Error& error) {
    return {clip + ": error " + std::to_string(error.number()) + ": " + error.what(), true};
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool probe = false;
  mirelo::video::CaptureOptions options;
  std::optional<int> threads;
  int jobs = 1;
  std::filesystem::path outDir;
  std::size_t i = 0;
  for (; i < args.size() && args[i].starts_with("--"); ++i) {
    if (args[i] == "--probe") {
      probe = true;
    } else if (args[i] == "--threads" && i + 1 < args.size()) {
      threads = std::atoi(args[++i].c_str());
    } else if (args[i] == "--jobs" && i + 1 < args.size()) {
      jobs = std::max(1, std::atoi(args[++i].c_str()));
    } else if (args[i] == "--full") {
      options.fullDecode = true;
    } else if (args[i] == "--out" && i + 1 < args.size()) {
      outDir = args[++i];
    } else {
      return Usage();
    }
  }
  std::optional<double> seconds = 0.0;
  if (!probe) {
    if (i >= args.size()) return Usage();
    char* end = nullptr;
    seconds = std::strtod(args[i].c_str(), &end);
    if (args[i] == "auto") {
      seconds.reset();
    } else if (end == args[i].c_str() || *end != '\0') {
      return Usage();
    }
    ++i;
  }
  if (i >= args.size()) return Usage();
  const std::vector<std::string> clips(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());

  int status = 0;
  if (probe) {
    for (const std::string& clip : clips) {
      try {
        const mirelo::video::MediaInfo info = mirelo::video::ProbeMedia(clip);
        std::printf("%s: video %d decoder %d size %dx%d sar %d/%d shown %dx%d duration %.6f fps %.6f rotation %d "
                    "mirrored %d audio %d\n",
                    clip.c_str(), info.hasVideo, info.decoderAvailable, info.width, info.height, info.sampleAspectNum,
                    info.sampleAspectDen, info.shownWidth, info.shownHeight, info.duration, info.frameRate,
                    info.rotation, info.mirrored, info.hasAudio);
      } catch (const mirelo::Error& error) {
        std::fprintf(stderr, "%s: error %d: %s\n", clip.c_str(), error.number(), error.what());
        status = 1;
      }
    }
    return status;
  }

  // The batch engine's rule: twice each capture's share of the cores, at least two threads.
  const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  jobs = std::min(jobs, static_cast<int>(clips.size()));
  options.threads = threads ? *threads : std::min(cores, std::max(2, 2 * cores / jobs));

  std::vector<Outcome> outcomes(clips.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t n = next++; n < clips.size(); n = next++) {
      outcomes[n] = Capture(clips[n], seconds, options, outDir, static_cast<int>(n) + 1);
    }
  };
  std::vector<std::thread> workers;
  for (int w = 1; w < jobs; ++w) workers.emplace_back(work);
  work();
  for (auto& worker : workers) worker.join();

  for (const Outcome& outcome : outcomes) {
    std::fprintf(outcome.failed ? stderr : stdout, "%s\n", outcome.line.c_str());
    if (outcome.failed) status = 1;
  }
  return status;
}
