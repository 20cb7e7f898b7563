# Empty dependencies file for sivo_make_corpus.
# This may be replaced when dependencies are built.
