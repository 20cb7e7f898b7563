# Empty compiler generated dependencies file for sivo_cli_tests.
# This may be replaced when dependencies are built.
