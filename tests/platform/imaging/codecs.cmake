# tests for the codecs of the imaging component
