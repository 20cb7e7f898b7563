# Empty dependencies file for sivo_wav_tests.
# This may be replaced when dependencies are built.
