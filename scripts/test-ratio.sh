#!/usr/bin/env bash
# Prints the lines of test code (tests/ and the fuzz harnesses) against the
# lines of product code, the share the project keeps at about a third.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
count() {
  git ls-files -- "$@" | grep -E '\.(cpp|h|c|cc|hpp)$' | xargs -r cat | wc -l
}
tests=$(count tests fuzz)
product=$(count src platform device host records bridge pim engine waitbox gantry1)
echo "test code: $tests lines against $product lines of product code ($((100 * tests / product)) %; the aim is at most about 33 %)"
