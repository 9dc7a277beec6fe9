#!/usr/bin/env bash
# Runs the libFuzzer targets for a bounded time each and prints, per target,
# the executions, the coverage reached and the corpus size.
#
#   tools/fuzz.sh BUILD_DIR SECONDS [TARGET...]
#
# TARGET is a folder name of tests/fuzz/ (fills, outline, texture_loader,
# replay_script); all of them by default. Each target starts from its committed
# seeds (tests/fuzz/TARGET/corpus/, never written) and from what earlier runs
# found (BUILD_DIR/corpus/TARGET/). A crash, a sanitizer report, a leak or a
# failed check stops that target: the input is saved under
# BUILD_DIR/artifacts/ and the exit code is 1 once all targets have run.
set -uo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
  echo "usage: tools/fuzz.sh BUILD_DIR SECONDS [TARGET...]" >&2
  exit 2
fi
build=$1
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fills outline texture_loader replay_script)

# Largest input each target is given: a fill case is about 100 bytes, a page
# tile up to 1 KiB, image files and scripts a few KiB.
max_len() {
  case $1 in
    fills) echo 256 ;;
    outline) echo 1200 ;;
    *) echo 8192 ;;
  esac
}

failed=0
mkdir -p "$build/logs" "$build/artifacts"
for target in "${targets[@]}"; do
  binary=$build/tests/fuzz/fuzz_$target
  if [ ! -x "$binary" ]; then
    echo "$target: $binary is missing (cmake --build --preset fuzz)" >&2
    failed=1
    continue
  fi
  corpus=$build/corpus/$target
  log=$build/logs/$target.log
  mkdir -p "$corpus"
  "$binary" "$corpus" "tests/fuzz/$target/corpus" \
    -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=20 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1
  status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*' "$log" | tail -1)
  read -r _ edges _ features _ inputs <<<"${coverage:-cov: ? ft: ? corp: ?}"
  if [ $status -eq 0 ]; then
    echo "$target: ${executions:-?} executions in ${seconds} s, coverage $edges edges" \
      "($features features), corpus $inputs inputs, no failure"
    # A target's own tally, where it keeps one ("... fuzz: N cases, ...").
    grep -E 'fuzz: [0-9]+ ' "$log" | tail -1 | sed 's/^/  /'
  else
    failed=1
    echo "$target: FAILED after ${executions:-?} executions (exit $status); log: $log"
    grep -m 5 -E 'ERROR|runtime error|fuzz: |Test unit written' "$log" | sed 's/^/  /'
  fi
done
exit $failed
