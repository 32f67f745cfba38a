target_sources(mirelo_imaging PRIVATE
  op_convert.cpp
  op_trim.cpp
  op_contrast.cpp
  op_resize.cpp
  op_sharpen.cpp
  op_palette.cpp
  op_combine.cpp
)
# The filter loops run over every sample of large photos; -O3 lets GCC vectorise them.
set_source_files_properties(op_resize.cpp op_sharpen.cpp TARGET_DIRECTORY mirelo_imaging PROPERTIES COMPILE_OPTIONS -O3)
