# Empty compiler generated dependencies file for sivo_gst_tests.
# This may be replaced when dependencies are built.
