# Empty custom commands generated dependencies file for sivo_corpus_manpage.
# This may be replaced when dependencies are built.
