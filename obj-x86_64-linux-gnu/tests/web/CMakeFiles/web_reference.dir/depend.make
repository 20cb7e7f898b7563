# Empty dependencies file for web_reference.
# This may be replaced when dependencies are built.
