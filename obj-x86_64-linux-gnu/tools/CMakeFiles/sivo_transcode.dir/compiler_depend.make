# Empty compiler generated dependencies file for sivo_transcode.
# This may be replaced when dependencies are built.
