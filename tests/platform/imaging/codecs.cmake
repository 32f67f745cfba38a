# Tests of the library-backed codecs, the loader and ImagingControl (ImageMagick as the
# independent decoder).
mirelo_gtest(imaging_codec_tests
  SOURCES test_codec_helpers.cpp test_still_tools.cpp test_codec_read.cpp test_codec_write.cpp test_control.cpp
  LIBS mirelo_imaging mirelo_test_support PkgConfig::LCMS2 PkgConfig::AOM PkgConfig::JXL)
mirelo_gtest(imaging_load_shrink_tests
  SOURCES test_codec_helpers.cpp test_still_tools.cpp test_load_shrink.cpp
  LIBS mirelo_imaging mirelo_test_support PkgConfig::LCMS2)
