target_sources(mirelo_imaging PRIVATE codec_bmp.cpp codec_pict.cpp)
