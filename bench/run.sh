#!/usr/bin/env bash
# The speed benchmark: STRATUMIX against the formatted-I/O loop and against a
# plain copy of the same bytes through user space.
#   bash bench/run.sh [ROUNDS] [POINTS]     (defaults: 5 rounds, 1500000 points a file)
# Builds in build-bench/, works in a temporary folder, prints medians,
# ratios and peak memory, and checks that the result is the loop's byte for
# byte.
set -euo pipefail
rounds=${1:-5}
points=${2:-1500000}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSTRATUMIX_TESTS=OFF > /dev/null
cmake --build "$build" -j2 > /dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/images/bench"
folder=$work/images/bench

# Microseconds that a command takes. The disk first writes out what earlier
# runs left in memory, so that no run pays for another's output.
microseconds() {
  local start end
  clear_results
  sync
  start=${EPOCHREALTIME/[.,]/}
  "$@" > /dev/null 2>&1
  end=${EPOCHREALTIME/[.,]/}
  echo $((end - start))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
seconds() { awk -v us="$1" 'BEGIN { printf "%.3f", us / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }

# Every contender writes a file that does not exist yet (emptying an old
# file of the same size costs the file system as much as writing it), and
# the old one is removed before the clock starts.
run_program() { (cd "$work" && "$build/stratumix" <<< "bench 2 a b result"); }
run_loop() { "$build/bench/scanf_loop" "$folder/loop.xyz" "$folder/a.xyz" "$folder/b.xyz"; }
run_copy() { cat "$folder/a.xyz" "$folder/b.xyz" | cat > "$folder/copy.xyz"; }
clear_results() { rm -f "$folder/result.xyz" "$folder/result_xyz_info.txt" "$folder/loop.xyz" "$folder/copy.xyz"; }

measure() {
  local kind=$1
  "$build/bench/generate_points" "$kind" "$points" 1 > "$folder/a.xyz"
  "$build/bench/generate_points" "$kind" "$points" 2 > "$folder/b.xyz"
  local input_mb
  input_mb=$(du -cm "$folder/a.xyz" "$folder/b.xyz" | tail -1 | cut -f1)
  local -a program=() loop=() copy=()
  for ((i = 0; i < rounds; i++)); do
    program+=("$(microseconds run_program)")
    loop+=("$(microseconds run_loop)")
    copy+=("$(microseconds run_copy)")
  done
  local p l c
  p=$(printf '%s\n' "${program[@]}" | median)
  l=$(printf '%s\n' "${loop[@]}" | median)
  c=$(printf '%s\n' "${copy[@]}" | median)
  local memory
  memory=$(cd "$work" && rm -f "$folder/result.xyz" &&
    /usr/bin/time -f %M "$build/stratumix" <<< "bench 2 a b result" 2>&1 > /dev/null | tail -1)
  run_loop
  local same=no
  cmp -s "$folder/result.xyz" "$folder/loop.xyz" && same=yes
  echo "$kind: 2 files of $points points, $input_mb MB in; medians of $rounds rounds"
  echo "  stratumix          $(seconds "$p") s"
  echo "  formatted-I/O loop $(seconds "$l") s"
  echo "  copy (cat | cat)   $(seconds "$c") s"
  echo "  loop / stratumix   $(ratio "$l" "$p")x   (target: at least 20)"
  echo "  stratumix / copy   $(ratio "$p" "$c")x   (target: at most 1.5)"
  echo "  peak memory        $memory KiB   (target: at most 8192)"
  echo "  result identical to the loop's: $same"
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
measure lidar
measure mixed

# Memory must not grow with the input: one file ten times larger.
"$build/bench/generate_points" lidar $((points * 10)) 3 > "$folder/a.xyz"
: > "$folder/b.xyz"
memory=$(cd "$work" && rm -f "$folder/result.xyz" &&
  /usr/bin/time -f %M "$build/stratumix" <<< "bench 2 a b result" 2>&1 > /dev/null | tail -1)
echo "one file of $((points * 10)) points ($(du -m "$folder/a.xyz" | cut -f1) MB): peak memory $memory KiB"
