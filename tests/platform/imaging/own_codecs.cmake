# tests for the own_codecs of the imaging component
