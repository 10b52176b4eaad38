#!/usr/bin/env bash
# Installs what is missing, builds Vistrel with its tests and runs every test.
#   BUILD_DIR   build folder (default: build)
#   CTEST_ARGS  extra arguments for ctest (for example "-L unit")
#   PACKAGES=0  leaves out the Debian packages' build and check (scripts/check-packages.sh, a
#               full package build: about a third of the run on two cores)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh --tests --package
# Formatting first: it takes a second and a difference fails the run.
scripts/check-format.sh
scripts/check-layers.sh
scripts/check-setting-names.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DVISTREL_WERROR=ON -DVISTREL_BUILD_TESTS=ON
cmake --build "$build"

# Preparation steps of test fixtures (for example FTP daemons unpacked into the build tree).
for step in scripts/test-setup.d/*.sh; do
  [[ -e "$step" ]] || continue
  bash "$step" "$build"
done

# The fuzz targets, with clang in a build folder of their own: only the targets are built (their
# corpora are replayed by the tests below), so that a change cannot break them unseen.
fuzz=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$fuzz" -G Ninja -DVISTREL_FUZZ=ON -DVISTREL_BUILD_TESTS=ON
mapfile -t fuzz_targets < <(cmake --build "$fuzz" -- -t targets all |
                            sed -n 's/^\(fuzz_[a-z0-9_]*\): phony$/\1/p' | grep -v '_autogen')
[[ ${#fuzz_targets[@]} -gt 0 ]] || { echo "test: no fuzz targets in $fuzz" >&2; exit 1; }
cmake --build "$fuzz" --target "${fuzz_targets[@]}"

# --no-tests=error: a run in which no test ran is a failure, not a pass.
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)" ${CTEST_ARGS:-}

# The Debian packages, built from these sources and checked as a user installs them.
if [[ "${PACKAGES:-1}" != 0 ]]; then
  time scripts/check-packages.sh "$build"
fi
