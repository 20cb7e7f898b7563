file(REMOVE_RECURSE
  "libsivowav_internal.a"
)
