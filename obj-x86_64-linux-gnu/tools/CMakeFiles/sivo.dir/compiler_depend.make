# Empty compiler generated dependencies file for sivo.
# This may be replaced when dependencies are built.
