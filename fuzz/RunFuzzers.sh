#!/usr/bin/env bash
# Runs fuzz targets one after the other, each for a given time, on its corpus: the seeds the seed maker
# wrote, the few committed under corpus/, what earlier runs found (kept in the build tree) and the kept
# crash inputs. Prints how many inputs each target tried; fails when one of them crashed.
# usage: RunFuzzers.sh <build folder> <source folder> <seconds per target> <target>...
set -uo pipefail
bin=$1 src=$2 seconds=$3
shift 3

work=$bin/runs
mkdir -p "$work/artifacts" "$work/logs"
status=0
passed=0
failed=0
for target in "$@"; do
    corpus=$work/corpus/$target
    mkdir -p "$corpus"
    for from in "$bin/seeds/$target" "$src/corpus/$target"; do
        if [ -d "$from" ]; then cp -n "$from"/* "$corpus"/ 2>/dev/null || true; fi
    done
    dirs=("$corpus")
    if [ -d "$src/regressions/$target" ]; then dirs+=("$src/regressions/$target"); fi
    # Index streams need room for a record that overflows its 8192-byte buffer.
    case $target in
        IndexRecord) maxlen=20000 ;;
        StoredHeaders) maxlen=12000 ;;
        *) maxlen=4096 ;;
    esac
    log=$work/logs/$target.log
    "$bin/fuzz_$target" -max_total_time="$seconds" -max_len="$maxlen" -timeout=30 -rss_limit_mb=3072 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/$target-" "${dirs[@]}" >"$log" 2>&1
    rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    printf 'fuzz %-14s %10s executions in %s s\n' "$target" "${execs:-?}" "$seconds"
    if [ $rc -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    if [ $rc -ne 0 ]; then
        status=1
        echo "fuzz_$target failed (exit $rc); the input is kept in $work/artifacts/, the log is $log:"
        tail -n 40 "$log"
    fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
