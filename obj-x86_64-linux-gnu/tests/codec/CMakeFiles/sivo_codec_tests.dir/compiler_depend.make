# Empty compiler generated dependencies file for sivo_codec_tests.
# This may be replaced when dependencies are built.
