# tests for the operations of the imaging component
mirelo_gtest(imaging_ops_tests
  SOURCES test_op_combine.cpp test_op_trim.cpp test_op_resize.cpp test_op_filters.cpp test_op_palette.cpp
  LIBS mirelo_imaging mirelo_test_support)
