// Image pipeline; filled in by the production work.
