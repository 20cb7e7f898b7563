# Empty compiler generated dependencies file for sivocore_internal.
# This may be replaced when dependencies are built.
