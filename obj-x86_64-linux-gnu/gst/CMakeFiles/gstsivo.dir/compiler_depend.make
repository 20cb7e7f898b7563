# Empty compiler generated dependencies file for gstsivo.
# This may be replaced when dependencies are built.
