# PlanBatch: the output names a run would choose, for mirelo-batch --dry-run.
target_sources(mirelo_production PRIVATE ${CMAKE_CURRENT_LIST_DIR}/dry_run.cpp)
