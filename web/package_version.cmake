# Copies package.json from IN to OUT with its version set to VERSION.
# Run with cmake -P.
file(READ ${IN} text)
string(REGEX REPLACE "\"version\": \"[^\"]*\"" "\"version\": \"${VERSION}\"" text "${text}")
file(WRITE ${OUT} "${text}")
