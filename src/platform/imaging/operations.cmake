# target_sources(mirelo_imaging PRIVATE op_<name>.cpp ...)
