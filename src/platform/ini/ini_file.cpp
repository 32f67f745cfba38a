// Private-profile INI files; filled in by the foundation work.
