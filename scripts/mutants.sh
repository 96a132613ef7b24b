#!/usr/bin/env bash
# Mutation testing: scripts/mutants.sh [N] [SEED] applies N (150) seeded
# mutations to the product code one at a time, rebuilds incrementally into
# build-mutants/ and runs the CTest suite against each; prints the mutation
# score and the survivors.  Not a CI stage: a mutant costs an incremental
# build and, when it survives, the whole suite (see DEVELOPERS.md).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
exec python3 "$here/scripts/mutants.py" "$@"
