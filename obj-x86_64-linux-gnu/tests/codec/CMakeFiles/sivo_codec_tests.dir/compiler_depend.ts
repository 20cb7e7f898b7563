# CMAKE generated file: DO NOT EDIT!
# Timestamp file for compiler generated dependencies management for sivo_codec_tests.
