# Tests of CaptureVideoFrame, on clips generated with the ffmpeg command-line tool.
mirelo_gtest(video_capture_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/test_video_capture.cpp
    ${PROJECT_SOURCE_DIR}/tests/platform/video/test_clips.cpp
  LIBS mirelo_production mirelo_test_support)
