# Our own BMP and PICT codecs and the helpers they share.
target_sources(mirelo_imaging PRIVATE codec_bmp.cpp codec_pict.cpp packbits.cpp)
