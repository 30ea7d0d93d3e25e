#!/usr/bin/env bash
# Regenerates the aligned PER test vectors with Erlang's independent codec.
#   make_vectors.sh            rewrites per_vectors.txt beside this script
#   make_vectors.sh --check    regenerates into a scratch file and compares
# "erlc -bper" selects aligned PER; "+per" would silently give BER.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$here/TestTypes.asn" "$here/make_vectors.erl" "$work/"
(
  cd "$work"
  erlc -bper TestTypes.asn
  erlc make_vectors.erl
  erl -noshell -s make_vectors main > vectors.txt
)
if [ "${1:-}" = "--check" ]; then
  if ! diff -q "$here/per_vectors.txt" "$work/vectors.txt" >/dev/null; then
    echo "per_vectors.txt differs from what the script produces; run $0 to regenerate" >&2
    diff "$here/per_vectors.txt" "$work/vectors.txt" | head -20 >&2
    exit 1
  fi
  echo "per_vectors.txt is current ($(wc -l < "$work/vectors.txt") vectors)"
else
  mv "$work/vectors.txt" "$here/per_vectors.txt"
fi
