# tests for the operations of the imaging component
