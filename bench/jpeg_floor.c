/* The decode floor of the benchmark: every file given is decoded by libjpeg-turbo at 1/8 scale
   and thrown away, as `djpeg -scale 1/8 -outfile /dev/null` does. Used when djpeg
   (libjpeg-turbo-progs) is not installed. */
#include <stdio.h>
#include <stdlib.h>

#include <jpeglib.h>

int main(int argc, char** argv) {
  struct jpeg_decompress_struct cinfo;
  struct jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  for (int i = 1; i < argc; ++i) {
    FILE* file = fopen(argv[i], "rb");
    if (!file) {
      perror(argv[i]);
      return 1;
    }
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    const size_t stride = (size_t)cinfo.output_width * (size_t)cinfo.output_components;
    JSAMPLE* row = malloc(stride);
    while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, &row, 1);
    free(row);
    jpeg_finish_decompress(&cinfo);
    fclose(file);
  }
  jpeg_destroy_decompress(&cinfo);
  return 0;
}
