// PNG through libpng 1.6.
//
// libpng reports errors by longjmp. The functions holding a setjmp frame (DecodePngUnsafe,
// EncodePngUnsafe) have only trivially destructible locals and call, besides libpng, only
// noexcept helpers; everything with a destructor lives in the caller.

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/color_management.h"
#include "platform/imaging/file_io.h"
#include "platform/imaging/row_shrink.h"

namespace mirelo::imaging {
namespace {

struct ErrorState {
  char message[256];
};

void OnError(png_structp png, png_const_charp message) {
  auto* state = static_cast<ErrorState*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "%s", message ? message : "error");
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// ---------------------------------------------------------------------------------------------
// Reading

struct DecodeJob {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
  detail::PictureFile* file = nullptr;  // instead of data, when streaming from a file
  int ioError = 0;
  Image* image = nullptr;
  std::vector<std::uint8_t>* buffer = nullptr;  // one row, or every row of an interlaced picture
  std::vector<png_bytep>* rowPointers = nullptr;
  std::vector<std::uint8_t>* icc = nullptr;
  const LoadOptions* options = nullptr;
  // Shrink-on-load (factor > 1): rows are narrowed to 8 bits into `narrow` and block-averaged.
  detail::RowShrinker* shrinker = nullptr;
  std::vector<std::uint8_t>* narrow = nullptr;
  int factor = 1;
  int fullWidth = 0, fullHeight = 0;
  std::size_t rowBytes = 0;
  int channels = 0;  // after the transforms: 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA
  int bitDepth = 8;  // after the transforms: 8 or 16
  int storedBits = 0;
  double dpiX = 0, dpiY = 0;
  std::exception_ptr failure;
  const char* refusal = nullptr;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* job = static_cast<DecodeJob*>(png_get_io_ptr(png));
  if (length > job->size - job->pos) png_error(png, "truncated file");
  std::memcpy(out, job->data + job->pos, length);
  job->pos += length;
}

void ReadFromFile(png_structp png, png_bytep out, png_size_t length) {
  auto* job = static_cast<DecodeJob*>(png_get_io_ptr(png));
  const std::ptrdiff_t n = job->file->Read(out, length);
  if (n < 0) {
    job->ioError = job->file->error();
    png_error(png, "read error");
  }
  if (std::size_t(n) < length) png_error(png, "truncated file");
}

// After png_read_info: limits, metadata and transforms to 8 or 16 bits of grey or RGB, with
// alpha when the picture has any transparency.
bool PrepareDecode(DecodeJob* job, png_structp png, png_infop info) noexcept {
  try {
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (!detail::DimensionsOk(width, height)) {
      job->refusal = "picture too large";
      return false;
    }
    const int colorType = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    job->storedBits = depth * png_get_channels(png, info);
    png_uint_32 rx = 0, ry = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &rx, &ry, &unit) && unit == PNG_RESOLUTION_METER && rx > 0 && ry > 0) {
      job->dpiX = rx * 0.0254;
      job->dpiY = ry * 0.0254;
    }
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profileLength) && profile) {
      job->icc->assign(profile, profile + profileLength);
    }
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    job->channels = png_get_channels(png, info);
    job->bitDepth = png_get_bit_depth(png, info);
    job->rowBytes = png_get_rowbytes(png, info);
    if (job->channels < 1 || job->channels > 4 || (job->bitDepth != 8 && job->bitDepth != 16) ||
        job->rowBytes != std::size_t(width) * job->channels * (job->bitDepth / 8)) {
      job->refusal = "unexpected row layout";
      return false;
    }
    const bool gray = job->channels <= 2;
    const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    job->fullWidth = int(width);
    job->fullHeight = int(height);
    // An interlaced picture arrives in passes, not rows, so it is decoded whole.
    if (job->options->minimumSize && !interlaced) {
      const Size full{int(width), int(height)};
      job->factor = detail::ShrinkFactor(full, job->options->minimumSize(full));
    }
    const int factor = job->factor;
    *job->image = Image::blank(detail::ShrunkSide(int(width), factor), detail::ShrunkSide(int(height), factor),
                               gray ? PixelFormat::Gray8 : PixelFormat::Rgb24);
    if (factor > 1) {
      job->narrow->resize(std::size_t(width) * std::size_t(gray ? 1 : 3));
      job->shrinker->Start(int(width), int(height), gray ? 1 : 3, factor, job->image->pixels.data());
    }
    const std::size_t rows = interlaced ? height : 1;
    job->buffer->resize(job->rowBytes * rows);
    job->rowPointers->resize(rows);
    for (std::size_t y = 0; y < rows; ++y) (*job->rowPointers)[y] = job->buffer->data() + job->rowBytes * y;
    return true;
  } catch (...) {
    job->failure = std::current_exception();
    return false;
  }
}

// One decoded row to 8-bit grey or RGB: 16-bit samples rounded to 8, alpha composited onto white.
void ConvertRow(const DecodeJob* job, const std::uint8_t* in, std::uint8_t* out) noexcept {
  const int width = job->fullWidth;
  const int colors = job->channels >= 3 ? 3 : 1;
  const bool alpha = job->channels == 2 || job->channels == 4;
  if (job->bitDepth == 8) {
    if (!alpha) {
      std::memcpy(out, in, job->rowBytes);
      return;
    }
    for (int x = 0; x < width; ++x, in += job->channels) {
      for (int c = 0; c < colors; ++c) *out++ = detail::OverWhite(in[c], in[colors]);
    }
    return;
  }
  for (int x = 0; x < width; ++x, in += 2 * job->channels) {
    const unsigned a = alpha ? (unsigned(in[2 * colors]) << 8) | in[2 * colors + 1] : 65535u;
    for (int c = 0; c < colors; ++c) {
      unsigned v = (unsigned(in[2 * c]) << 8) | in[2 * c + 1];
      if (alpha) v = unsigned((std::uint64_t(v) * a + 65535ull * (65535u - a) + 32767u) / 65535u);
      *out++ = static_cast<std::uint8_t>((v * 255u + 32895u) >> 16);
    }
  }
}

bool DecodePngUnsafe(DecodeJob* job, ErrorState* state) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state, OnError, OnWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, job, job->file ? ReadFromFile : ReadFromMemory);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);
  if (!PrepareDecode(job, png, info)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  if (job->rowPointers->size() > 1) {
    png_read_image(png, job->rowPointers->data());
    for (int y = 0; y < job->image->height; ++y) ConvertRow(job, (*job->rowPointers)[std::size_t(y)], job->image->row(y));
  } else if (job->factor > 1) {
    const bool plain = job->bitDepth == 8 && (job->channels == 1 || job->channels == 3);
    for (int y = 0; y < job->fullHeight; ++y) {
      png_read_row(png, job->buffer->data(), nullptr);
      if (plain) {
        job->shrinker->AddRow(job->buffer->data());
      } else {
        ConvertRow(job, job->buffer->data(), job->narrow->data());
        job->shrinker->AddRow(job->narrow->data());
      }
    }
  } else {
    for (int y = 0; y < job->image->height; ++y) {
      png_read_row(png, job->buffer->data(), nullptr);
      ConvertRow(job, job->buffer->data(), job->image->row(y));
    }
  }
  // The chunks after the picture data are not needed; a file cut after its last row still
  // holds the whole picture.
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

bool IsPng(Bytes data) {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return data.size() >= 8 && std::memcmp(data.data(), kSignature, 8) == 0;
}

namespace {

Image DecodePng(DecodeJob& job, const LoadOptions& options) {
  Image image;
  std::vector<std::uint8_t> buffer, icc, narrow;
  std::vector<png_bytep> rowPointers;
  detail::RowShrinker shrinker;
  job.options = &options;
  job.shrinker = &shrinker;
  job.narrow = &narrow;
  job.image = &image;
  job.buffer = &buffer;
  job.rowPointers = &rowPointers;
  job.icc = &icc;
  ErrorState state{};
  if (!DecodePngUnsafe(&job, &state)) {
    if (job.failure) std::rethrow_exception(job.failure);
    if (job.ioError) {
      throw Error(err::kFileCannotBeRead, job.file->path().string() + ": " + std::strerror(job.ioError));
    }
    detail::ThrowInvalidFormat(std::string("png: ") + (job.refusal ? job.refusal : state.message));
  }
  image.storedBitsPerPixel = job.storedBits;
  if (job.dpiX > 0) {
    image.dpiX = job.dpiX;
    image.dpiY = job.dpiY;
  }
  // The profile applies alike to a shrunk picture: block means of the stored values.
  if (!icc.empty()) detail::ConvertToSrgb(image, icc);
  image.sourceWidth = job.fullWidth;
  image.sourceHeight = job.fullHeight;
  return image;
}

}  // namespace

Image ReadPng(Bytes data, const LoadOptions& options) {
  DecodeJob job;
  job.data = data.data();
  job.size = data.size();
  return DecodePng(job, options);
}

Image detail::ReadPngFile(PictureFile& file, const LoadOptions& options) {
  DecodeJob job;
  job.file = &file;
  return DecodePng(job, options);
}

// -----------------------------------------------------------------------------------------------
// Writing

namespace {

struct EncodeJob {
  const Image* image = nullptr;  // Rgb24
  std::vector<std::uint8_t>* out = nullptr;
  png_uint_32 ppmX = 0, ppmY = 0;  // 0: no pHYs
};

bool Append(std::vector<std::uint8_t>* out, const png_byte* data, std::size_t length) noexcept {
  try {
    out->insert(out->end(), data, data + length);
    return true;
  } catch (...) {
    return false;
  }
}

void WriteToMemory(png_structp png, png_bytep data, png_size_t length) {
  auto* job = static_cast<EncodeJob*>(png_get_io_ptr(png));
  if (!Append(job->out, data, length)) png_error(png, "out of memory");
}

void Flush(png_structp) {}

bool EncodePngUnsafe(EncodeJob* job, ErrorState* state) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, state, OnError, OnWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, job, WriteToMemory, Flush);
  png_set_IHDR(png, info, png_uint_32(job->image->width), png_uint_32(job->image->height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (job->ppmX > 0) png_set_pHYs(png, info, job->ppmX, job->ppmY, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (int y = 0; y < job->image->height; ++y) {
    png_write_row(png, const_cast<png_bytep>(job->image->row(y)));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

png_uint_32 PixelsPerMetre(double dpi) {
  const double ppm = std::nearbyint(dpi / 0.0254);
  return ppm < 1 ? 1 : ppm > 2147483647.0 ? 2147483647u : png_uint_32(ppm);
}

}  // namespace

std::vector<std::uint8_t> WritePng(const Image& image, const SaveParams&) {
  if (image.empty()) throw Error(err::kInvalidPropertyValue, "png: empty image");
  const Image rgb = image.format == PixelFormat::Rgb24 ? Image{} : detail::ExpandToRgb24(image);
  std::vector<std::uint8_t> out;
  out.reserve(image.pixels.size() / 2 + 1024);
  EncodeJob job;
  job.image = image.format == PixelFormat::Rgb24 ? &image : &rgb;
  job.out = &out;
  if (image.dpiX > 0 && image.dpiY > 0) {
    job.ppmX = PixelsPerMetre(image.dpiX);
    job.ppmY = PixelsPerMetre(image.dpiY);
  }
  ErrorState state{};
  if (!EncodePngUnsafe(&job, &state)) throw Error(err::kFileCannotBeRead, std::string("png: ") + state.message);
  return out;
}

}  // namespace mirelo::imaging
