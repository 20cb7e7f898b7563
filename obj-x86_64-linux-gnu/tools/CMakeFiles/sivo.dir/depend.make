# Empty dependencies file for sivo.
# This may be replaced when dependencies are built.
