# The batch engine: ordered parallel runner and the run's semantics on real files.
mirelo_gtest(batch_tests
  SOURCES
    test_batch_scheduler.cpp
    test_batch_engine.cpp
  LIBS mirelo_production mirelo_test_support)
