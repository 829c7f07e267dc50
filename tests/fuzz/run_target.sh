#!/usr/bin/env bash
# Runs one fuzz target a fixed number of times over a copy of its seed corpus, so that the
# inputs libFuzzer adds never land in the repository. A crash leaves its input in artifacts.
# Usage: run_target.sh <binary> <seed corpus dir> <runs> <artifact dir>
set -euo pipefail
binary=$1 seeds=$2 runs=$3 artifacts=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$seeds/." "$work/"
mkdir -p "$artifacts"
exec "$binary" -runs="$runs" -seed=1 -print_final_stats=1 \
  -artifact_prefix="$artifacts/$(basename "$binary")-" "$work"
