// Micro-benchmarks of the imaging component: loading a 24-megapixel JPEG, and the same photo as a
// PNG file through ImagingControl::Load, with and without the shrink-on-load hint, the pipeline's big reduction, and every writer on a thumbnail.
//
// The test picture is made at start-up (smooth gradients plus noise, so that it compresses like
// a photograph) and encoded with our own JPEG writer at the default quality.

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/imaging/codecs.h"
#include "platform/imaging/imaging_control.h"
#include "platform/imaging/operations.h"

namespace mirelo::imaging {
namespace {

constexpr int kPhotoWidth = 6000, kPhotoHeight = 4000;
constexpr int kThumbWidth = 160, kThumbHeight = 120;

Image MakePhoto(int width, int height) {
  Image image = Image::blank(width, height);
  std::uint32_t noise = 2463534242u;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = image.row(y);
    for (int x = 0; x < width; ++x, p += 3) {
      noise ^= noise << 13;
      noise ^= noise >> 17;
      noise ^= noise << 5;
      const int n = int(noise & 15) - 8;
      auto clamp = [](int v) { return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
      p[0] = clamp(x * 255 / width + n);
      p[1] = clamp(y * 255 / height + n);
      p[2] = clamp(((x / 97 + y / 61) % 3) * 100 + n);
    }
  }
  return image;
}

const Image& Photo() {
  static const Image photo = MakePhoto(kPhotoWidth, kPhotoHeight);
  return photo;
}

const std::vector<std::uint8_t>& PhotoJpeg() {
  static const std::vector<std::uint8_t> jpeg = [] {
    SaveParams params;
    params.qualityFactor = 65;  // libjpeg quality 75
    return WriteJpeg(Photo(), params);
  }();
  return jpeg;
}

const Image& Thumbnail() {
  static const Image thumb = [] {
    Image image = Photo();
    Resize(image, kThumbWidth, kThumbHeight);
    return image;
  }();
  return thumb;
}

void BM_JpegLoadFull(benchmark::State& state) {
  const auto& jpeg = PhotoJpeg();
  for (auto _ : state) {
    Image image = DecodeImage(jpeg);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(jpeg.size()));
}
BENCHMARK(BM_JpegLoadFull)->Unit(benchmark::kMillisecond);

// The pipeline asks for at least twice the fitted size: 320 x 240 for a 160 x 120 thumbnail,
// which 1/8 scaling (750 x 500) satisfies.
void BM_JpegLoadScaled(benchmark::State& state) {
  const auto& jpeg = PhotoJpeg();
  LoadOptions options;
  options.minimumSize = [](Size) { return Size{2 * kThumbWidth, 2 * kThumbHeight}; };
  for (auto _ : state) {
    Image image = DecodeImage(jpeg, options);
    benchmark::DoNotOptimize(image.pixels.data());
  }
}
BENCHMARK(BM_JpegLoadScaled)->Unit(benchmark::kMillisecond);

// The PNG photo as a file in a fresh temporary folder (removed at exit), so that Load pays for
// reading the file as the batch does.
const std::filesystem::path& PhotoPngFile() {
  struct TempFile {
    std::filesystem::path folder, file;
    TempFile() {
      std::string pattern = (std::filesystem::temp_directory_path() / "mirelo-bench-XXXXXX").string();
      if (!::mkdtemp(pattern.data())) std::abort();
      folder = pattern;
      file = folder / "photo.png";
      ImagingControl control;
      control.PutImage(Photo());
      control.Save(file, format::kPng, 24, 0);
    }
    ~TempFile() {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    }
  };
  static const TempFile temp;
  return temp.file;
}

void PngLoadBench(benchmark::State& state, bool shrink) {
  const auto& file = PhotoPngFile();
  LoadOptions options;
  if (shrink) options.minimumSize = [](Size) { return Size{2 * kThumbWidth, 2 * kThumbHeight}; };
  ImagingControl control;
  for (auto _ : state) {
    control.Load(file, options);
    control.Resize(kThumbWidth, kThumbHeight, 1);
    benchmark::DoNotOptimize(control.GetImage().pixels.data());
  }
}
// Load and resize to the thumbnail, as the pipeline does.
BENCHMARK_CAPTURE(PngLoadBench, FullThenResize, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PngLoadBench, ShrinkOnLoadThenResize, true)->Unit(benchmark::kMillisecond);

void BM_Resize6000x4000To160x120(benchmark::State& state) {
  const Image& photo = Photo();
  for (auto _ : state) {
    state.PauseTiming();
    Image image = photo;
    state.ResumeTiming();
    Resize(image, kThumbWidth, kThumbHeight);
    benchmark::DoNotOptimize(image.pixels.data());
  }
}
BENCHMARK(BM_Resize6000x4000To160x120)->Unit(benchmark::kMillisecond);

void WriterBench(benchmark::State& state, int formatCode, int bitsPerPixel, bool progressive, int paletteOption) {
  ImagingControl control;
  control.PutImage(Thumbnail());
  control.SetDpiX(72);
  control.SetDpiY(72);
  control.SetProgressive(progressive ? 8 : 0);
  if (paletteOption) control.ColorResolution(8, paletteOption);
  for (auto _ : state) {
    auto bytes = control.Encode(formatCode, bitsPerPixel, 65);
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK_CAPTURE(WriterBench, JpegBaseline, format::kJpeg, 24, false, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WriterBench, JpegProgressive, format::kJpeg, 24, true, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WriterBench, Png, format::kPng, 24, false, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WriterBench, GifFixedPalette, format::kGif, 8, false, palette::kFixed)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WriterBench, GifOptimizedPalette, format::kGif, 8, false, palette::kOptimized)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WriterBench, Pict, format::kPict, 24, false, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WriterBench, Bmp, format::kBmp, 24, false, 0)->Unit(benchmark::kMicrosecond);

// The palette choice itself, which the GIF save of the pipeline pays before the writer.
void BM_OptimizedPaletteOnThumbnail(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Image image = Thumbnail();
    state.ResumeTiming();
    ChangeColorResolution(image, 8, palette::kOptimized);
    benchmark::DoNotOptimize(image.pixels.data());
  }
}
BENCHMARK(BM_OptimizedPaletteOnThumbnail)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace mirelo::imaging
