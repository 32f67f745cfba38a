# Library-backed codecs, the loader and their helpers.
target_sources(mirelo_imaging PRIVATE
  codec_jpeg.cpp codec_png.cpp codec_gif.cpp codec_tiff.cpp
  codec_heif.cpp codec_avif.cpp codec_webp.cpp codec_jxl.cpp codec_raw.cpp
  color_management.cpp exif_orientation.cpp file_io.cpp)
