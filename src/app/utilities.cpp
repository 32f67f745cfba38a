// Common utilities; filled in by the foundation work.
