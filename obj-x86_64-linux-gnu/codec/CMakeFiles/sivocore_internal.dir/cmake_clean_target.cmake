file(REMOVE_RECURSE
  "libsivocore_internal.a"
)
