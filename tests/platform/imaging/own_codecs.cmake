# Tests of our own BMP and PICT codecs and of hostile input to every reader.
mirelo_gtest(imaging_own_codec_tests
  SOURCES test_bmp.cpp test_pict.cpp
  LIBS mirelo_imaging mirelo_test_support)
