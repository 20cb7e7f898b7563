# CMAKE generated file: DO NOT EDIT!
# Timestamp file for compiler generated dependencies management for sivo_gst_tests.
