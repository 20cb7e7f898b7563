# Empty custom commands generated dependencies file for sivo_python.
# This may be replaced when dependencies are built.
