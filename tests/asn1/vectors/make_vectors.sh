#!/usr/bin/env bash
# Regenerates the aligned PER and BER test vectors with Erlang's independent codec.
#   make_vectors.sh            rewrites per_vectors.txt and ber_vectors.txt beside this script
#   make_vectors.sh --check    regenerates into a scratch directory and compares
# "erlc -bper" selects aligned PER and "erlc -bber" BER; "+per" would silently give BER.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for rule in per ber; do
  mkdir "$work/$rule"
  cp "$here/TestTypes.asn" "$here/make_vectors.erl" "$work/$rule/"
  (
    cd "$work/$rule"
    erlc "-b$rule" TestTypes.asn
    erlc make_vectors.erl
    erl -noshell -s make_vectors main > vectors.txt
  )
  made="$work/$rule/vectors.txt"
  committed="$here/${rule}_vectors.txt"
  if [ "${1:-}" = "--check" ]; then
    if ! diff -q "$committed" "$made" >/dev/null; then
      echo "${rule}_vectors.txt differs from what the script produces; run $0 to regenerate" >&2
      diff "$committed" "$made" | head -20 >&2
      status=1
    else
      echo "${rule}_vectors.txt is current ($(wc -l < "$made") vectors)"
    fi
  else
    mv "$made" "$committed"
  fi
done
exit $status
