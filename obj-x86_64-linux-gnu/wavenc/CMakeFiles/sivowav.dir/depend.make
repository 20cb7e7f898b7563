# Empty dependencies file for sivowav.
# This may be replaced when dependencies are built.
