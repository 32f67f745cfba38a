# CaptureVideoFrame: the loader of video entries.
target_sources(mirelo_production PRIVATE ${CMAKE_CURRENT_LIST_DIR}/video_capture.cpp)
