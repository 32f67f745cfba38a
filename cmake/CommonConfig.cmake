# Project-wide flags live on one INTERFACE target that every target links.
add_library(mirelo_flags INTERFACE)
target_compile_options(mirelo_flags INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
target_compile_definitions(mirelo_flags INTERFACE _GLIBCXX_ASSERTIONS)
if(MIRELO_WERROR)
  target_compile_options(mirelo_flags INTERFACE -Werror)
endif()
target_include_directories(mirelo_flags INTERFACE ${PROJECT_SOURCE_DIR}/src)

# Strict Qt string handling: every Japanese text is an explicit u"..." literal.
add_library(mirelo_qt_flags INTERFACE)
target_compile_definitions(mirelo_qt_flags INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
                                                     QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

# Fuzzing build (clang only): everything is compiled with AddressSanitizer and
# UndefinedBehaviorSanitizer and instrumented for libFuzzer; the fuzz targets link the fuzzer's
# main (fuzz/CMakeLists.txt). Decoders lower their size limits under
# FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION so the fuzzer explores parsers, not memset.
if(MIRELO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "MIRELO_FUZZ needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fsanitize=fuzzer-no-link
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
endif()
