# Empty compiler generated dependencies file for sivo_roundtrip_check.
# This may be replaced when dependencies are built.
