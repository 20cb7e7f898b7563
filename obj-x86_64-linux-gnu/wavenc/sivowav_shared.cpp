// The shared library is the whole internal library, linked entire.
