// The bus viewer library.
