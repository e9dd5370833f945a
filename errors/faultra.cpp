// The error message library.
