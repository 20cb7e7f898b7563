file(REMOVE_RECURSE
  "libsivo_transcode.a"
)
