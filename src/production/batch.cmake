# The batch engine: checks, ordered parallel run, front-end interface.
target_sources(mirelo_production PRIVATE batch_engine.cpp)
