# Empty compiler generated dependencies file for ratelib.
# This may be replaced when dependencies are built.
