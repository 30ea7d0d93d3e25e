#!/usr/bin/env bash
# Installs the Debian packages needed: "build" those that building the
# daemon and nodalsrv-sim needs; "all" (the default) also those of the
# tests and the benchmarks.
set -euo pipefail
mode="${1:-all}"
packages=(cmake make g++ python3 libboost-dev libloki-dev)
case "$mode" in
  build) ;;
  all)
    packages+=(
      libgtest-dev libgmock-dev googletest libbenchmark-dev
      erlang-base erlang-asn1
      tshark snmptrapd libpri-dev libss7-dev
    )
    ;;
  *)
    echo "usage: $0 [build|all]" >&2
    exit 2
    ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
