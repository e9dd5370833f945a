// The FIP engine library.
