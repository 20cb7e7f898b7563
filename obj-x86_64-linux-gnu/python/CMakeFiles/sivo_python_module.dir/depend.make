# Empty dependencies file for sivo_python_module.
# This may be replaced when dependencies are built.
