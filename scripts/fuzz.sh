#!/usr/bin/env bash
# usage: scripts/fuzz.sh [-t SECONDS] [-c CORPUS_DIR] [TARGET...]
# Builds the libFuzzer targets with clang (folder build-fuzz, or
# $NORVO_FUZZ_BUILD) and runs each TARGET (fuzz_<reader> or <reader>; all of
# fuzz/fuzz_*.cpp by default) for SECONDS (default 60). Each run starts from
# the seeds in fuzz/corpus/<target> and keeps the new inputs it finds in
# CORPUS_DIR/<target> (default build-fuzz/corpus), so longer runs go on where
# the last one stopped. A crash, hang or sanitizer report leaves its input in
# build-fuzz/artifacts and makes the script fail. Extra libFuzzer options go
# in $NORVO_FUZZ_FLAGS; build jobs in $NORVO_FUZZ_JOBS (default: all cores).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${NORVO_FUZZ_BUILD:-$top/build-fuzz}
secs=60
corpus=""
while getopts "t:c:" opt; do
  case $opt in
    t) secs=$OPTARG ;;
    c) corpus=$OPTARG ;;
    *) sed -n 2p "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
corpus=${corpus:-$dir/corpus}

bash "$top/scripts/deps.sh"
targets=()
if (($#)); then
  for t in "$@"; do targets+=("fuzz_${t#fuzz_}"); done
else
  for f in "$top"/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
for t in "${targets[@]}"; do
  [ -f "$top/fuzz/$t.cpp" ] || { echo "fuzz: no target $t (fuzz/$t.cpp)" >&2; exit 2; }
done

mkdir -p "$dir"
if ! { CC=clang CXX=clang++ cmake -S "$top" -B "$dir" -G Ninja -DNORVO_FUZZ=ON -DNORVO_TESTS=OFF \
         -DNORVO_BENCH=OFF -DNORVO_WERROR=ON &&
       cmake --build "$dir" -j "${NORVO_FUZZ_JOBS:-$(nproc)}" --target "${targets[@]}"; } \
     >"$dir/build.log" 2>&1; then
  echo "fuzz: the targets do not build (log $dir/build.log):" >&2
  grep -E -m 20 'error|FAILED' "$dir/build.log" >&2 || tail -n 20 "$dir/build.log" >&2
  exit 1
fi

mkdir -p "$dir/artifacts" "$dir/logs"
failed=()
for t in "${targets[@]}"; do
  mkdir -p "$corpus/$t"
  args=(-max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1
        -artifact_prefix="$dir/artifacts/$t-")
  [ -f "$top/fuzz/$t.dict" ] && args+=(-dict="$top/fuzz/$t.dict")
  # Readers of files the project ships start from those files too.
  seeds=("$top/fuzz/corpus/$t")
  [ "$t" = fuzz_html ] && seeds+=("$top/help/pages")
  log=$dir/logs/$t.log
  # shellcheck disable=SC2086
  if (cd "$dir" && "$dir/fuzz/$t" "${args[@]}" ${NORVO_FUZZ_FLAGS:-} "$corpus/$t" \
        "${seeds[@]}") >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "fuzz: $t: ${runs:-?} runs (${rate:-?}/s), corpus $(ls "$corpus/$t" | wc -l) inputs"
  else
    echo "fuzz: $t FAILED (log $log):" >&2
    grep -E -m 20 'ERROR|SUMMARY|property broken|Test unit written|^    #[0-9]+ .* in ' "$log" >&2 || tail -n 20 "$log" >&2
    failed+=("$t")
  fi
done
if ((${#failed[@]})); then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
