# Sourced by the tests: the recording they code, a scratch folder, and the
# check of an output against expected.sha256.
set -eu
tests_dir=$(cd "$(dirname "$0")" && pwd)
SPEECH=${SIVO_SPEECH:-/usr/share/codec2/raw/hts1a.raw}
work=${AUTOPKGTEST_TMP:-$(mktemp -d)}

# check_sum FILE [NAME]: FILE must have the bytes expected.sha256 lists
# under NAME (default: FILE's own name).
check_sum() {
  name=${2:-$(basename "$1")}
  want=$(awk -v n="$name" '$2 == n { print $1 }' "$tests_dir/expected.sha256")
  got=$(sha256sum <"$1" | cut -d' ' -f1)
  if [ "$got" != "$want" ]; then
    echo "$1: sha256 $got, expected $want ($name)" >&2
    exit 1
  fi
}

check_sum "$SPEECH" input.raw
cd "$work"
