# Tests of our own BMP and PICT codecs and of hostile input to every reader.
mirelo_gtest(imaging_own_codec_tests
  SOURCES test_bmp.cpp test_pict.cpp test_hostile.cpp test_still_tools.cpp
  LIBS mirelo_imaging mirelo_test_support)

# The fuzz targets built as plain programs (<target>_repro) replay their seed corpora and the
# regression files of faults the fuzzers found, with whatever compiler builds the tests.
if(NOT MIRELO_FUZZ)
  add_subdirectory(${PROJECT_SOURCE_DIR}/fuzz ${PROJECT_BINARY_DIR}/fuzz)
  file(GLOB fuzz_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/fuzz_*.cpp)
  foreach(src ${fuzz_sources})
    get_filename_component(name ${src} NAME_WE)
    set(inputs)
    foreach(dir ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name} ${CMAKE_CURRENT_SOURCE_DIR}/data/${name})
      if(IS_DIRECTORY ${dir})
        list(APPEND inputs ${dir})
      endif()
    endforeach()
    if(inputs)
      add_test(NAME ${name}_replay COMMAND ${name}_repro ${inputs})
      set_tests_properties(${name}_replay PROPERTIES TIMEOUT 300)
    endif()
  endforeach()
endif()

# A short libFuzzer run of every target on its corpus, in its own clang build folder.
add_test(NAME fuzz_smoke COMMAND ${PROJECT_SOURCE_DIR}/fuzz/run_smoke.sh ${PROJECT_BINARY_DIR}/fuzz-smoke)
set_tests_properties(fuzz_smoke PROPERTIES LABELS fuzz TIMEOUT 900 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
