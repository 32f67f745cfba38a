// GIF through giflib 5. Only the first image is read, placed on its logical screen.

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/operations.h"

namespace mirelo::imaging {
namespace {

struct MemoryReader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int length) {
  auto* in = static_cast<MemoryReader*>(gif->UserData);
  if (length <= 0) return 0;
  const std::size_t n = std::min(std::size_t(length), in->size - in->pos);
  std::memcpy(out, in->data + in->pos, n);
  in->pos += n;
  return int(n);
}

struct DecoderCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifReader = std::unique_ptr<GifFileType, DecoderCloser>;

[[noreturn]] void Fail(const char* what, int code) {
  const char* text = GifErrorString(code);
  detail::ThrowInvalidFormat(std::string("gif: ") + what + (text ? std::string(": ") + text : std::string()));
}

}  // namespace

bool IsGif(Bytes data) {
  return data.size() >= 6 && (std::memcmp(data.data(), "GIF87a", 6) == 0 || std::memcmp(data.data(), "GIF89a", 6) == 0);
}

Image ReadGif(Bytes data, const LoadOptions&) {
  MemoryReader reader{data.data(), data.size(), 0};
  int error = 0;
  GifReader gif(DGifOpen(&reader, ReadFromMemory, &error));
  if (!gif) Fail("header", error);

  int transparent = -1;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) Fail("record", gif->Error);
    if (record == TERMINATE_RECORD_TYPE) detail::ThrowInvalidFormat("gif: no image");
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) Fail("extension", gif->Error);
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        GraphicsControlBlock gcb{};
        if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
      }
      while (block) {
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) Fail("extension", gif->Error);
      }
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) Fail("image descriptor", gif->Error);
    break;
  }

  const GifImageDesc& desc = gif->Image;
  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
  const std::int64_t left = desc.Left, top = desc.Top, fw = desc.Width, fh = desc.Height;
  if (fw <= 0 || fh <= 0) detail::ThrowInvalidFormat("gif: empty image");
  // The first image sits on the logical screen; a screen too small for it (or of size zero, as
  // some writers leave it) grows to hold it, as browsers do.
  const std::int64_t width = std::max<std::int64_t>(gif->SWidth, left + fw);
  const std::int64_t height = std::max<std::int64_t>(gif->SHeight, top + fh);
  detail::CheckDimensions(width, height, "gif");
  detail::CheckDimensions(fw, fh, "gif");

  // Outside the image and where it is transparent the screen shows white.
  Image image = Image::blank(int(width), int(height));
  std::fill(image.pixels.begin(), image.pixels.end(), std::uint8_t(255));
  std::vector<GifPixelType> line(static_cast<std::size_t>(fw));
  auto putLine = [&](std::int64_t y) {
    std::uint8_t* out = image.row(int(top + y)) + 3 * left;
    for (std::int64_t x = 0; x < fw; ++x, out += 3) {
      const int index = line[std::size_t(x)];
      if (index == transparent) continue;
      if (map && index < map->ColorCount) {
        out[0] = map->Colors[index].Red;
        out[1] = map->Colors[index].Green;
        out[2] = map->Colors[index].Blue;
      } else if (!map) {
        out[0] = out[1] = out[2] = std::uint8_t(index);  // no colour table at all: grey levels
      } else {
        out[0] = out[1] = out[2] = 0;
      }
    }
  };
  if (desc.Interlace) {
    static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (std::int64_t y = kStart[pass]; y < fh; y += kStep[pass]) {
        if (DGifGetLine(gif.get(), line.data(), int(fw)) == GIF_ERROR) Fail("image data", gif->Error);
        putLine(y);
      }
    }
  } else {
    for (std::int64_t y = 0; y < fh; ++y) {
      if (DGifGetLine(gif.get(), line.data(), int(fw)) == GIF_ERROR) Fail("image data", gif->Error);
      putLine(y);
    }
  }
  image.storedBitsPerPixel = map ? std::clamp(map->BitsPerPixel, 1, 8) : 8;
  detail::SetSourceSizeToSize(image);
  return image;
}

// -----------------------------------------------------------------------------------------------
// Writing

namespace {

struct Output {
  std::vector<std::uint8_t> bytes;
};

int WriteToMemory(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Output*>(gif->UserData);
  try {
    out->bytes.insert(out->bytes.end(), data, data + length);
  } catch (...) {
    return 0;
  }
  return length;
}

struct EncoderCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    EGifCloseFile(gif, &error);
  }
};

struct MapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

[[noreturn]] void WriteFailed(int code) {
  const char* text = GifErrorString(code);
  throw Error(err::kFileCannotBeRead, std::string("gif: ") + (text ? text : "write failed"));
}

}  // namespace

std::vector<std::uint8_t> WriteGif(const Image& image, const SaveParams&) {
  if (image.empty()) throw Error(err::kInvalidPropertyValue, "gif: empty image");
  if (image.width > 65535 || image.height > 65535) throw Error(err::kInvalidPropertyValue, "gif: too large");
  // The pipeline hands over a palette image; anything else gets the fixed palette.
  Image converted;
  const Image* source = &image;
  if (image.format != PixelFormat::Palette8 || image.palette.empty() || image.palette.size() > 256) {
    converted = image;
    ChangeColorResolution(converted, 8, 8);
    source = &converted;
  }
  // Always a full 8-bit table, so the file is 8 bits a pixel whatever the number of colours.
  GifColorType colors[256] = {};
  for (std::size_t i = 0; i < source->palette.size() && i < 256; ++i) {
    colors[i] = {source->palette[i].r, source->palette[i].g, source->palette[i].b};
  }
  std::unique_ptr<ColorMapObject, MapDeleter> map(GifMakeMapObject(256, colors));
  if (!map) throw std::bad_alloc();

  Output out;
  out.bytes.reserve(source->pixels.size() / 2 + 1024);
  int error = 0;
  {
    std::unique_ptr<GifFileType, EncoderCloser> gif(EGifOpen(&out, WriteToMemory, &error));
    if (!gif) WriteFailed(error);
    EGifSetGifVersion(gif.get(), true);
    if (EGifPutScreenDesc(gif.get(), image.width, image.height, 8, 0, map.get()) == GIF_ERROR ||
        EGifPutImageDesc(gif.get(), 0, 0, image.width, image.height, false, nullptr) == GIF_ERROR) {
      WriteFailed(gif->Error);
    }
    std::vector<GifPixelType> line(static_cast<std::size_t>(image.width));
    for (int y = 0; y < image.height; ++y) {
      std::memcpy(line.data(), source->row(y), line.size());  // EGifPutLine masks the line in place
      if (EGifPutLine(gif.get(), line.data(), image.width) == GIF_ERROR) WriteFailed(gif->Error);
    }
    GifFileType* raw = gif.release();
    if (EGifCloseFile(raw, &error) == GIF_ERROR) WriteFailed(error);
  }
  return std::move(out.bytes);
}

}  // namespace mirelo::imaging
