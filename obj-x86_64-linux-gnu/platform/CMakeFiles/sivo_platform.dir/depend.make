# Empty dependencies file for sivo_platform.
# This may be replaced when dependencies are built.
