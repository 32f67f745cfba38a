# The dry run's plan against real runs on the same files.
mirelo_gtest(dry_run_tests
  SOURCES test_dry_run.cpp
  LIBS mirelo_production mirelo_test_support)
