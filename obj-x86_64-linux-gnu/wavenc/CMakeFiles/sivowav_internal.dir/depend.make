# Empty dependencies file for sivowav_internal.
# This may be replaced when dependencies are built.
