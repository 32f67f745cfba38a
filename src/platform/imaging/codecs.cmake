target_sources(mirelo_imaging PRIVATE codec_jpeg.cpp codec_png.cpp codec_gif.cpp codec_tiff.cpp)
