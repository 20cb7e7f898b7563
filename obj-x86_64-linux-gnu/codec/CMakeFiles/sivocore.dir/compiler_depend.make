# Empty compiler generated dependencies file for sivocore.
# This may be replaced when dependencies are built.
