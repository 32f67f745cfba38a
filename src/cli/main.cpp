#include <cstdio>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <gif_lib.h>

int main() {
  std::printf("mirelo-batch 1.10\n");
  std::printf("libjpeg %d, libpng %s, giflib %d.%d, %s\n", JPEG_LIB_VERSION, PNG_LIBPNG_VER_STRING, GIFLIB_MAJOR,
              GIFLIB_MINOR, TIFFGetVersion());
  return 0;
}
