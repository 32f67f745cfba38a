// JPEG through libjpeg-turbo (libjpeg 6b API).
//
// libjpeg reports errors by longjmp. The functions that hold a setjmp frame (DecodeJpegUnsafe,
// EncodeJpegUnsafe) have only trivially destructible locals and call, besides libjpeg, only
// noexcept helpers; everything with a destructor lives in the caller, out of the jump's way.

#include <jerror.h>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/color_management.h"
#include "platform/imaging/exif_orientation.h"

namespace mirelo::imaging {
namespace {

// A progressive file may hold any number of scans, each one a pass over the whole picture; real
// encoders write about ten. Beyond this the file is refused rather than decoded for minutes.
constexpr int kMaxScans = 500;
// Memory libjpeg may take for its own buffers (the coefficients of a progressive picture): enough
// for 200 megapixels at full colour resolution.
constexpr long kMaxJpegMemory = 1400L * 1024 * 1024;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  auto* mgr = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, mgr->message);
  std::longjmp(mgr->jump, 1);
}

// Warnings that mean picture data was lost or replaced by grey: the picture is refused instead.
bool IsDataLossWarning(int code) {
  switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
      return true;
    default:
      return false;
  }
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace output
  if (!IsDataLossWarning(cinfo->err->msg_code)) {
    // The arithmetic decoder's warning has no code in the public header.
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    if (std::strncmp(text, "Corrupt JPEG data: bad arithmetic code", 38) != 0) return;
  }
  OnError(cinfo);
}

void InitErrorManager(ErrorManager* mgr) {
  jpeg_std_error(&mgr->pub);
  mgr->pub.error_exit = OnError;
  mgr->pub.emit_message = OnMessage;
  mgr->message[0] = '\0';
}

// ---------------------------------------------------------------------------------------------
// Reading

struct DecodeJob {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  const LoadOptions* options = nullptr;
  // Filled by the steps below.
  Image* image = nullptr;
  std::vector<std::uint8_t>* cmykRow = nullptr;
  std::unique_ptr<detail::CmykTransform>* cmyk = nullptr;
  JOCTET* icc = nullptr;  // malloc'ed by libjpeg, freed by the caller
  unsigned iccLength = 0;
  int orientation = 1;
  int fullWidth = 0, fullHeight = 0;  // upright
  bool inverted = false;
  double dpiX = 0, dpiY = 0;
  std::exception_ptr failure;  // a C++ failure inside a step
  const char* refusal = nullptr;
};

// After the header: limits, orientation, resolution and the scale of the decode.
bool PrepareDecode(DecodeJob* job, j_decompress_ptr cinfo) noexcept {
  try {
    if (!detail::DimensionsOk(cinfo->image_width, cinfo->image_height)) {
      job->refusal = "picture too large";
      return false;
    }
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
      if (m->marker == JPEG_APP0 + 1) {
        int o = detail::ExifOrientation({m->data, m->data_length});
        if (o != 1) {
          job->orientation = o;
          break;
        }
      }
    }
    const bool swap = detail::OrientationSwapsAxes(job->orientation);
    const int w = int(cinfo->image_width), h = int(cinfo->image_height);
    job->fullWidth = swap ? h : w;
    job->fullHeight = swap ? w : h;
    if (cinfo->saw_JFIF_marker && cinfo->X_density > 0 && cinfo->Y_density > 0) {
      if (cinfo->density_unit == 1) {
        job->dpiX = cinfo->X_density;
        job->dpiY = cinfo->Y_density;
      } else if (cinfo->density_unit == 2) {
        job->dpiX = cinfo->X_density * 2.54;
        job->dpiY = cinfo->Y_density * 2.54;
      }
    }
    switch (cinfo->jpeg_color_space) {
      case JCS_GRAYSCALE:
        cinfo->out_color_space = JCS_GRAYSCALE;
        break;
      case JCS_CMYK:
      case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        // Photoshop (and every writer following its Adobe marker) stores CMYK inverted.
        job->inverted = cinfo->saw_Adobe_marker;
        break;
      default:
        cinfo->out_color_space = JCS_RGB;
        break;
    }
    // Largest DCT-domain reduction that keeps the picture at least the size the caller needs.
    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    if (job->options->minimumSize) {
      Size need = job->options->minimumSize(Size{job->fullWidth, job->fullHeight});
      for (unsigned denom : {8u, 4u, 2u}) {
        long sw = (long(job->fullWidth) + denom - 1) / denom, sh = (long(job->fullHeight) + denom - 1) / denom;
        if (sw >= need.width && sh >= need.height) {
          cinfo->scale_denom = denom;
          break;
        }
      }
    }
    return true;
  } catch (...) {
    job->failure = std::current_exception();
    return false;
  }
}

bool AllocateOutput(DecodeJob* job, j_decompress_ptr cinfo) noexcept {
  try {
    const PixelFormat format = cinfo->out_color_space == JCS_GRAYSCALE ? PixelFormat::Gray8 : PixelFormat::Rgb24;
    *job->image = Image::blank(int(cinfo->output_width), int(cinfo->output_height), format);
    if (cinfo->out_color_space == JCS_CMYK) {
      job->cmykRow->resize(std::size_t(cinfo->output_width) * 4);
      *job->cmyk = detail::CmykTransform::Create({job->icc, job->iccLength}, job->inverted);
    }
    return true;
  } catch (...) {
    job->failure = std::current_exception();
    return false;
  }
}

void ConvertCmykRow(DecodeJob* job, int y) noexcept {
  std::uint8_t* out = job->image->row(y);
  const std::size_t n = std::size_t(job->image->width);
  if (*job->cmyk) {
    (*job->cmyk)->Apply(job->cmykRow->data(), out, n);
  } else {
    detail::NaiveCmykToRgb(job->cmykRow->data(), out, n, job->inverted);
  }
}

void OnProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
      auto* mgr = reinterpret_cast<ErrorManager*>(cinfo->err);
      std::snprintf(mgr->message, sizeof mgr->message, "more than %d scans", kMaxScans);
      std::longjmp(mgr->jump, 1);
    }
  }
}

// Reads the file from memory. Once the data runs out, an end marker is supplied once without
// complaint: a file that lacks only its end marker holds the whole picture. If the decoder still
// wants more, the data was cut short and the warning refuses the picture; a cut inside the
// compressed data shows up as the decoder meeting that marker too early.
struct MemorySource {
  jpeg_source_mgr pub;
  const std::uint8_t* data;
  std::size_t size;
  int endMarkersSupplied;
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  static const JOCTET kEndMarker[2] = {0xFF, JPEG_EOI};
  auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
  if (src->endMarkersSupplied++ > 0) WARNMS(cinfo, JWRN_JPEG_EOF);
  src->pub.next_input_byte = kEndMarker;
  src->pub.bytes_in_buffer = 2;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* src = cinfo->src;
  if (count <= 0) return;
  while (std::size_t(count) > src->bytes_in_buffer) {
    count -= long(src->bytes_in_buffer);
    FillInput(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= std::size_t(count);
}

void InitMemorySource(MemorySource* src, const std::uint8_t* data, std::size_t size) {
  src->pub.init_source = InitSource;
  src->pub.fill_input_buffer = FillInput;
  src->pub.skip_input_data = SkipInput;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermSource;
  src->pub.next_input_byte = data;
  src->pub.bytes_in_buffer = size;
  src->data = data;
  src->size = size;
  src->endMarkersSupplied = 0;
}

// The setjmp frame. Returns false with mgr->message or job->failure/refusal set.
bool DecodeJpegUnsafe(DecodeJob* job, ErrorManager* mgr) {
  jpeg_decompress_struct cinfo;
  cinfo.err = &mgr->pub;
  InitErrorManager(mgr);
  jpeg_create_decompress(&cinfo);
  jpeg_progress_mgr progress{};
  MemorySource source;
  InitMemorySource(&source, job->data, job->size);
  progress.progress_monitor = OnProgress;
  if (setjmp(mgr->jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  cinfo.progress = &progress;
  cinfo.mem->max_memory_to_use = kMaxJpegMemory;
  cinfo.src = &source.pub;
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  if (!jpeg_read_icc_profile(&cinfo, &job->icc, &job->iccLength)) {
    job->icc = nullptr;
    job->iccLength = 0;
  }
  if (!PrepareDecode(job, &cinfo)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_components != (cinfo.out_color_space == JCS_GRAYSCALE ? 1 : cinfo.out_color_space == JCS_CMYK ? 4 : 3) ||
      !AllocateOutput(job, &cinfo)) {
    if (!job->failure) job->refusal = "unexpected component count";
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  const bool cmyk = cinfo.out_color_space == JCS_CMYK;
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = int(cinfo.output_scanline);
    JSAMPROW row = cmyk ? job->cmykRow->data() : job->image->row(y);
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
      job->refusal = "no scanline";
      jpeg_destroy_decompress(&cinfo);
      return false;
    }
    if (cmyk) ConvertCmykRow(job, y);
  }
  // Every row is there; whatever follows the picture data is not needed.
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

bool IsJpeg(Bytes data) { return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF; }

Image ReadJpeg(Bytes data, const LoadOptions& options) {
  Image image;
  std::vector<std::uint8_t> cmykRow;
  std::unique_ptr<detail::CmykTransform> cmyk;
  DecodeJob job;
  job.data = data.data();
  job.size = data.size();
  job.options = &options;
  job.image = &image;
  job.cmykRow = &cmykRow;
  job.cmyk = &cmyk;
  ErrorManager mgr;
  const bool ok = DecodeJpegUnsafe(&job, &mgr);
  std::unique_ptr<JOCTET, decltype(&std::free)> icc(job.icc, &std::free);
  if (!ok) {
    if (job.failure) std::rethrow_exception(job.failure);
    detail::ThrowInvalidFormat(std::string("jpeg: ") + (job.refusal ? job.refusal : mgr.message));
  }
  image.storedBitsPerPixel = cmykRow.empty() ? (image.format == PixelFormat::Gray8 ? 8 : 24) : 32;
  if (job.dpiX > 0) {
    image.dpiX = job.dpiX;
    image.dpiY = job.dpiY;
  }
  if (icc && !cmyk) detail::ConvertToSrgb(image, {icc.get(), job.iccLength});
  detail::ApplyOrientation(image, job.orientation);
  image.sourceWidth = job.fullWidth;
  image.sourceHeight = job.fullHeight;
  return image;
}

// -----------------------------------------------------------------------------------------------
// Writing

namespace {

// libjpeg quality from the quality factor (2 best .. 255 worst).
int JpegQuality(int qualityFactor) {
  const double q = std::nearbyint((255.0 - qualityFactor) / 2.53);
  return q < 1 ? 1 : q > 100 ? 100 : int(q);
}

struct EncodeJob {
  const Image* image = nullptr;  // Rgb24
  std::vector<std::uint8_t>* out = nullptr;
  int quality = 75;
  bool progressive = false;
  unsigned densityUnit = 1;
  unsigned densityX = 72, densityY = 72;
  jpeg_destination_mgr dest{};
};

bool GrowOutput(std::vector<std::uint8_t>* out) noexcept {
  try {
    out->resize(out->empty() ? 65536 : out->size() * 2);
    return true;
  } catch (...) {
    return false;
  }
}

EncodeJob* JobOf(j_compress_ptr cinfo) { return static_cast<EncodeJob*>(cinfo->client_data); }

void InitDestination(j_compress_ptr cinfo) {
  EncodeJob* job = JobOf(cinfo);
  if (!GrowOutput(job->out)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  job->dest.next_output_byte = job->out->data();
  job->dest.free_in_buffer = job->out->size();
}

boolean EmptyOutput(j_compress_ptr cinfo) {
  EncodeJob* job = JobOf(cinfo);
  const std::size_t used = job->out->size();  // the whole buffer is full when this is called
  if (!GrowOutput(job->out)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  job->dest.next_output_byte = job->out->data() + used;
  job->dest.free_in_buffer = job->out->size() - used;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  EncodeJob* job = JobOf(cinfo);
  job->out->resize(job->out->size() - job->dest.free_in_buffer);
}

bool EncodeJpegUnsafe(EncodeJob* job, ErrorManager* mgr) {
  jpeg_compress_struct cinfo;
  cinfo.err = &mgr->pub;
  InitErrorManager(mgr);
  jpeg_create_compress(&cinfo);
  if (setjmp(mgr->jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  cinfo.client_data = job;
  job->dest.init_destination = InitDestination;
  job->dest.empty_output_buffer = EmptyOutput;
  job->dest.term_destination = TermDestination;
  cinfo.dest = &job->dest;
  cinfo.image_width = JDIMENSION(job->image->width);
  cinfo.image_height = JDIMENSION(job->image->height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, job->quality, TRUE);
  // At high quality keep full colour resolution: thumbnails are small and 4:2:0 smears the edges
  // of coloured text and lines.
  if (job->quality >= 90) {
    for (int c = 0; c < 3; ++c) {
      cinfo.comp_info[c].h_samp_factor = 1;
      cinfo.comp_info[c].v_samp_factor = 1;
    }
  }
  cinfo.optimize_coding = TRUE;
  if (job->progressive) jpeg_simple_progression(&cinfo);
  cinfo.write_JFIF_header = TRUE;
  cinfo.density_unit = UINT8(job->densityUnit);
  cinfo.X_density = UINT16(job->densityX);
  cinfo.Y_density = UINT16(job->densityY);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(job->image->row(int(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

unsigned Density(double dpi) {
  const double d = std::nearbyint(dpi);
  return d < 1 ? 1 : d > 65535 ? 65535 : unsigned(d);
}

}  // namespace

std::vector<std::uint8_t> WriteJpeg(const Image& image, const SaveParams& params) {
  if (image.empty()) throw Error(err::kInvalidPropertyValue, "jpeg: empty image");
  const Image rgb = image.format == PixelFormat::Rgb24 ? Image{} : detail::ExpandToRgb24(image);
  std::vector<std::uint8_t> out;
  EncodeJob job;
  job.image = image.format == PixelFormat::Rgb24 ? &image : &rgb;
  job.out = &out;
  job.quality = JpegQuality(params.qualityFactor);
  job.progressive = params.progressive;
  if (image.dpiX > 0 && image.dpiY > 0) {
    job.densityX = Density(image.dpiX);
    job.densityY = Density(image.dpiY);
  } else {
    job.densityUnit = 0;  // no resolution: square pixels only
    job.densityX = job.densityY = 1;
  }
  ErrorManager mgr;
  if (!EncodeJpegUnsafe(&job, &mgr)) {
    throw Error(err::kFileCannotBeRead, std::string("jpeg: ") + mgr.message);
  }
  return out;
}

}  // namespace mirelo::imaging
