#!/usr/bin/env bash
# The speed benchmark: STRATUMIX against the formatted-I/O loop and against a
# plain copy of the same bytes through user space, on kinds of point file,
# then the instructions it spends per input byte.
#   bash bench/run.sh [ROUNDS] [POINTS] [KINDS]
#   (defaults: 5 rounds, 1500000 points a file, all the kinds below)
# lidar-gz is the lidar kind through gzip -6, las the same points as LAS,
# laz that LAS compressed (chunks of 50000 points, by the tests' compressor),
# laz14 the points as LAS 1.4 format 6 compressed so (the layered compressor),
# csv, semicolon-decimal-comma and xyzrgb the same numbers in those layouts;
# their loop and copy read the lidar text, and lidar-gz also times zcat.
# tiles is a set of 1000 lidar tiles of 5000 points, tiles-gz the same
# tiles through gzip -6: each is pasted on the command line and compared
# with the same points in two files, and with cat of the tiles.
# Builds in build-bench/, works in a temporary folder, prints medians,
# ratios and peak memory, and checks that the result is the loop's byte for
# byte. Wall times are medians of interleaved rounds; CPU times (user +
# system, all threads) are medians too. Instructions are counted by
# valgrind --tool=callgrind, all threads, on two files of 200000 points.
set -euo pipefail
rounds=${1:-5}
points=${2:-1500000}
kinds=${3:-lidar repr fixed8 integers tabs lidar-gz las laz laz14 csv semicolon-decimal-comma xyzrgb tiles tiles-gz}
tile_count=1000
tile_points=5000
counted_points=200000
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSTRATUMIX_TESTS=OFF > /dev/null
cmake --build "$build" -j2 > /dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/images/bench"
folder=$work/images/bench

# CPU microseconds (user + system) of the shell's children so far, as the
# `times` builtin wrote them to file $1.
children_cpu() {
  tail -1 "$1" | awk '{
    t = 0
    for (i = 1; i <= 2; i++) { split($i, f, /[ms]/); t += f[1] * 60 + f[2] }
    printf "%d", t * 1e6 }'
}

# "WALL CPU" microseconds that a command takes. The disk first writes out
# what earlier runs left in memory, so that no run pays for another's output.
microseconds() {
  local start end
  clear_results
  sync
  times > "$work/cpu_before"
  start=${EPOCHREALTIME/[.,]/}
  "$@" > /dev/null 2>&1
  end=${EPOCHREALTIME/[.,]/}
  times > "$work/cpu_after"
  echo "$((end - start)) $(($(children_cpu "$work/cpu_after") - $(children_cpu "$work/cpu_before")))"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
seconds() { awk -v us="$1" 'BEGIN { printf "%.3f", us / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }
ratio2() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Every contender writes a file that does not exist yet (emptying an old
# file of the same size costs the file system as much as writing it), and
# the old one is removed before the clock starts.
run_program() { (cd "$work" && "$build/stratumix" <<< "bench 2 a b result"); }
run_loop() { "$build/bench/scanf_loop" "$folder/loop.xyz" "$folder/a.txt" "$folder/b.txt"; }
run_copy() { cat "$folder/a.txt" "$folder/b.txt" | cat > "$folder/copy.xyz"; }
run_zcat() { zcat "$folder/a.xyz" "$folder/b.xyz" > /dev/null; }

# Input file $2 (a.xyz or b.xyz) of kind $1 with seed $3, and the text of
# the same points beside it (a.txt, b.txt) for the loop and the copy.
generate() {
  local kind=$1 name=$2 seed=$3
  rm -f "$folder/$name.txt"
  case $kind in
    lidar-gz)
      "$build/bench/generate_points" lidar "$counted" "$seed" > "$folder/$name.txt"
      gzip -6 -c "$folder/$name.txt" > "$folder/$name.xyz" ;;
    las)
      # LAS holds integers: a Z that the text rounds to -0.000 is 0 there.
      "$build/bench/generate_points" lidar "$counted" "$seed" | sed 's/ -0\.000\r$/ 0.000\r/' > "$folder/$name.txt"
      "$build/bench/generate_points" las "$counted" "$seed" > "$folder/$name.xyz" ;;
    laz | laz14)
      "$build/bench/generate_points" lidar "$counted" "$seed" | sed 's/ -0\.000\r$/ 0.000\r/' > "$folder/$name.txt"
      local las_kind=las
      if [ "$kind" = laz14 ]; then las_kind=las14; fi
      "$build/bench/generate_points" "$las_kind" "$counted" "$seed" | "$build/bench/compress_las" > "$folder/$name.xyz" ;;
    csv | semicolon-decimal-comma | xyzrgb)
      "$build/bench/generate_points" lidar "$counted" "$seed" > "$folder/$name.txt"
      "$build/bench/generate_points" "$kind" "$counted" "$seed" > "$folder/$name.xyz" ;;
    *)
      "$build/bench/generate_points" "$kind" "$counted" "$seed" > "$folder/$name.xyz"
      ln -sf "$folder/$name.xyz" "$folder/$name.txt" ;;
  esac
}
clear_results() { rm -f "$folder/result.xyz" "$folder/result_xyz_info.txt" "$folder/loop.xyz" "$folder/copy.xyz"; }
peak_memory() {
  (cd "$work" && rm -f "$folder/result.xyz" &&
    /usr/bin/time -f %M "$build/stratumix" <<< "bench 2 a b result" 2>&1 > /dev/null | tail -1)
}

# Instructions per input byte, all threads, and the profile's top entries.
count_instructions() {
  local kind=$1
  counted=$counted_points generate "$kind" a 1
  counted=$counted_points generate "$kind" b 2
  local bytes instructions
  bytes=$(($(stat -c %s "$folder/a.xyz") + $(stat -c %s "$folder/b.xyz")))
  rm -f "$folder/result.xyz"
  instructions=$(cd "$work" && valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
    "$build/stratumix" <<< "bench 2 a b result" 2>&1 > /dev/null | awk '/Collected/ { print $4 }')
  echo "  instructions/byte  $(ratio2 "$instructions" "$bytes")   ($instructions for $bytes bytes, 2 x $counted_points points, callgrind)"
  echo "  instructions/point $(ratio "$instructions" $((2 * counted_points)))"
  # The same job on the command line, which measures Z as well.
  rm -f "$folder/result.xyz"
  instructions=$(cd "$work" && valgrind --tool=callgrind --callgrind-out-file=/dev/null \
    "$build/stratumix" -q -o images/bench/result.xyz images/bench/a.xyz images/bench/b.xyz 2>&1 |
    awk '/Collected/ { print $4 }')
  echo "  instructions/byte on the command line, Z measured too: $(ratio2 "$instructions" "$bytes")"
  # LAS and LAZ with attributes: the records rebuilt whole, and six columns
  # written, against X Y Z alone.
  case $kind in
    las | laz | laz14)
      local with_fields
      with_fields=$(cd "$work" && valgrind --tool=callgrind --callgrind-out-file=/dev/null \
        "$build/stratumix" -q --fields X,Y,Z,Intensity,Classification,GpsTime \
        -o images/bench/result.xyz images/bench/a.xyz images/bench/b.xyz 2>&1 |
        awk '/Collected/ { print $4 }')
      echo "  instructions/point with --fields X,Y,Z,Intensity,Classification,GpsTime:" \
        "$(ratio "$with_fields" $((2 * counted_points))), $(ratio2 "$with_fields" "$instructions") times X Y Z's" ;;
  esac
  callgrind_annotate "$work/callgrind.out" 2> /dev/null | awk '/file:function/ { on = 1; next }
    on && /%\)/ && n < 6 {
      share = $0; sub(/^[^(]*\(/, "", share); sub(/\).*$/, "", share); gsub(/ /, "", share)
      name = $0; sub(/^[^)]*\) */, "", name); sub(/ \[.*$/, "", name); sub(/^[^:]*:/, "", name)
      gsub(/\(anonymous namespace\)/, "{anonymous}", name); sub(/\(.*$/, "", name)
      printf "      %7s  %s\n", share, name; n++ }'
}

measure() {
  local kind=$1
  counted=$points generate "$kind" a 1
  counted=$points generate "$kind" b 2
  local input_mb
  input_mb=$(du -cm "$folder/a.xyz" "$folder/b.xyz" | tail -1 | cut -f1)
  local -a program=() loop=() copy=() program_cpu=() loop_cpu=() zcat_times=()
  local t
  for ((i = 0; i < rounds; i++)); do
    t=$(microseconds run_program)
    program+=("${t% *}")
    program_cpu+=("${t#* }")
    t=$(microseconds run_loop)
    loop+=("${t% *}")
    loop_cpu+=("${t#* }")
    t=$(microseconds run_copy)
    copy+=("${t% *}")
    if [ "$kind" = lidar-gz ]; then
      t=$(microseconds run_zcat)
      zcat_times+=("${t% *} ${t#* }")
    fi
  done
  local p l c pc lc
  p=$(printf '%s\n' "${program[@]}" | median)
  l=$(printf '%s\n' "${loop[@]}" | median)
  c=$(printf '%s\n' "${copy[@]}" | median)
  pc=$(printf '%s\n' "${program_cpu[@]}" | median)
  lc=$(printf '%s\n' "${loop_cpu[@]}" | median)
  local memory
  memory=$(peak_memory)
  run_loop
  local same=no
  cmp -s "$folder/result.xyz" "$folder/loop.xyz" && same=yes
  echo "$kind: 2 files of $points points, $input_mb MB in; medians of $rounds rounds"
  echo "  wall: stratumix $(seconds "$p") s, formatted-I/O loop $(seconds "$l") s, copy (cat | cat) $(seconds "$c") s"
  echo "  CPU:  stratumix $(seconds "$pc") s, formatted-I/O loop $(seconds "$lc") s"
  echo "  loop / stratumix   $(ratio "$l" "$p")x wall, $(ratio "$lc" "$pc")x CPU"
  echo "  stratumix / copy   $(ratio2 "$p" "$c")x wall"
  if [ "$kind" = lidar-gz ]; then
    local zw zc
    zw=$(printf '%s\n' "${zcat_times[@]}" | cut -d' ' -f1 | median)
    zc=$(printf '%s\n' "${zcat_times[@]}" | cut -d' ' -f2 | median)
    echo "  zcat a.xyz b.xyz > /dev/null: wall $(seconds "$zw") s, CPU $(seconds "$zc") s"
  fi
  echo "  peak memory        $memory KiB"
  echo "  result identical to the loop's: $same"
  if command -v valgrind > /dev/null; then count_instructions "$kind"; fi
}

# A tile set against the same points in two files: what each input costs
# beyond its points. Both jobs run on the command line, and the tiles'
# result must be the two files' byte for byte.
measure_tiles() {
  local kind=$1 suffix=xyz
  local tiles=$work/images/tiles
  rm -rf "$tiles" && mkdir -p "$tiles"
  for ((t = 1; t <= tile_count; t++)); do
    "$build/bench/generate_points" lidar "$tile_points" "$t" > "$tiles/$(printf 't%04d.xyz' "$t")"
  done
  local -a tile_files
  mapfile -t tile_files < <(printf '%s\n' "$tiles"/t*.xyz)
  local half=$((tile_count / 2))
  cat "${tile_files[@]:0:half}" > "$folder/two_a.xyz"
  cat "${tile_files[@]:half}" > "$folder/two_b.xyz"
  if [ "$kind" = tiles-gz ]; then
    suffix=xyz.gz
    gzip -6 "${tile_files[@]}" "$folder"/two_?.xyz
    tile_files=("${tile_files[@]/%/.gz}")
  fi
  local input_mb
  input_mb=$(du -cm "${tile_files[@]}" | tail -1 | cut -f1)
  run_tiles() { "$build/stratumix" -q -o "$folder/result.xyz" "${tile_files[@]}"; }
  run_two() { "$build/stratumix" -q -o "$folder/two.xyz" "$folder/two_a.$suffix" "$folder/two_b.$suffix"; }
  run_cat() { cat "${tile_files[@]}" > "$folder/copy.xyz"; }
  local -a tw=() ow=() cw=() tc=() oc=()
  local t
  for ((i = 0; i < rounds; i++)); do
    rm -f "$folder/two.xyz"
    t=$(microseconds run_tiles); tw+=("${t% *}"); tc+=("${t#* }")
    rm -f "$folder/two.xyz"
    t=$(microseconds run_two); ow+=("${t% *}"); oc+=("${t#* }")
    t=$(microseconds run_cat); cw+=("${t% *}")
  done
  local p o c pc occ
  p=$(printf '%s\n' "${tw[@]}" | median)
  o=$(printf '%s\n' "${ow[@]}" | median)
  c=$(printf '%s\n' "${cw[@]}" | median)
  pc=$(printf '%s\n' "${tc[@]}" | median)
  occ=$(printf '%s\n' "${oc[@]}" | median)
  run_tiles
  rm -f "$folder/two.xyz"
  run_two
  local same=no
  cmp -s "$folder/result.xyz" "$folder/two.xyz" && same=yes
  echo "$kind: $tile_count tiles of $tile_points points, $input_mb MB in; medians of $rounds rounds"
  echo "  wall: tiles $(seconds "$p") s, the same points in two files $(seconds "$o") s, cat of the tiles $(seconds "$c") s"
  echo "  CPU:  tiles $(seconds "$pc") s, two files $(seconds "$occ") s"
  echo "  tiles / two files  $(ratio2 "$p" "$o")x wall, $(ratio2 "$pc" "$occ")x CPU"
  echo "  tiles / cat        $(ratio2 "$p" "$c")x wall"
  rm -f "$folder/result.xyz"
  echo "  peak memory        $(/usr/bin/time -f %M "$build/stratumix" -q -o "$folder/result.xyz" "${tile_files[@]}" 2>&1 | tail -1) KiB"
  echo "  result identical to the two files': $same"
  if command -v valgrind > /dev/null; then
    local ti oi bytes
    bytes=$(du -cb "${tile_files[@]}" | tail -1 | cut -f1)
    rm -f "$folder/result.xyz" "$folder/two.xyz"
    ti=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$build/stratumix" -q \
      -o "$folder/result.xyz" "${tile_files[@]}" 2>&1 | awk '/Collected/ { print $4 }')
    oi=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$build/stratumix" -q \
      -o "$folder/two.xyz" "$folder/two_a.$suffix" "$folder/two_b.$suffix" 2>&1 | awk '/Collected/ { print $4 }')
    echo "  instructions/byte  tiles $(ratio2 "$ti" "$bytes"), two files $(ratio2 "$oi" "$bytes") ($(ratio2 "$ti" "$oi")x; $(((ti - oi) / tile_count)) more an input, callgrind)"
  fi
  rm -rf "$tiles" "$folder"/two*
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
for kind in $kinds; do
  case $kind in
    tiles | tiles-gz) measure_tiles "$kind" ;;
    *) measure "$kind" ;;
  esac
done

# Memory must not grow with the input: one file ten times larger.
"$build/bench/generate_points" lidar $((points * 10)) 3 > "$folder/a.xyz"
: > "$folder/b.xyz"
echo "one file of $((points * 10)) points ($(du -m "$folder/a.xyz" | cut -f1) MB): peak memory $(peak_memory) KiB"
