file(REMOVE_RECURSE
  "libsivo_platform.a"
)
