#!/usr/bin/env bash
# Times fragtally on generated console logs against a plain stdio yardstick
# (bench/yardstick.c), `wc -l` and `grep -c -F` with every phrase.
#
#   bash bench/run.sh
#
# Environment:
#   FRAGTALLY        binary under test (default build/release/fragtally; when
#                    the default is missing it is built with the release preset)
#   BENCH_BASELINE   a second fragtally to time in the same run, for instance
#                    the program of an earlier commit (optional; its rows are
#                    labelled "baseline", and its output must be the same)
#   BENCH_BUILD_DIR  where gen_log and the yardstick are built
#                    (default build/bench-tools)
#   BENCH_RUNS       timed runs per case, the median is reported (default 5)
#   BENCH_QUICK=1    smoke test: 64 MiB log only, 3 runs unless BENCH_RUNS is set
#   BENCH_SEED       generator seed (default 1)
#   TMPDIR           where the logs are written (about 2.5 GiB free needed for
#                    the full run, 200 MiB for the quick one)
#
# Relative paths in FRAGTALLY and BENCH_BUILD_DIR are taken from the current
# folder; the defaults are relative to the repository root.
set -euo pipefail
shopt -s inherit_errexit

die() { printf 'bench: error: %s\n' "$*" >&2; exit 1; }
note() { printf 'bench: %s\n' "$*" >&2; }
abspath() { case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_root=$(cd "$script_dir/.." && pwd)

quick=${BENCH_QUICK:-0}
[[ $quick == 1 ]] && runs=${BENCH_RUNS:-3} || runs=${BENCH_RUNS:-5}
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "BENCH_RUNS must be a positive integer, got '$runs'"
seed=${BENCH_SEED:-1}
[[ $seed =~ ^[0-9]+$ ]] || die "BENCH_SEED must be a non-negative integer, got '$seed'"

if [[ -n ${BENCH_BUILD_DIR:-} ]]; then build_dir=$(abspath "$BENCH_BUILD_DIR")
else build_dir=$repo_root/build/bench-tools; fi

if [[ $quick == 1 ]]; then
    sizes=(64)
else
    sizes=(64 1024)
fi

# ------------------------------------------------------------------ fragtally
if [[ -n ${FRAGTALLY:-} ]]; then
    fragtally=$(abspath "$FRAGTALLY")
    [[ -f $fragtally && -x $fragtally ]] || die "FRAGTALLY=$FRAGTALLY is not an executable file"
else
    fragtally=$repo_root/build/release/fragtally
    if [[ ! -x $fragtally ]]; then
        note "$fragtally not found: building it with the release preset"
        if [[ ! -f $repo_root/CMakePresets.json ]] ||
            ! (cd "$repo_root" && cmake --list-presets 2>/dev/null | grep -q '"release"'); then
            die "this checkout has no CMake preset 'release' yet; build fragtally first and point FRAGTALLY at it"
        fi
        (cd "$repo_root" && cmake --preset release && cmake --build --preset release) ||
            die "release build failed"
        [[ -x $fragtally ]] || die "the release build did not produce $fragtally"
    fi
fi

baseline=""
if [[ -n ${BENCH_BASELINE:-} ]]; then
    baseline=$(abspath "$BENCH_BASELINE")
    [[ -f $baseline && -x $baseline ]] || die "BENCH_BASELINE=$BENCH_BASELINE is not an executable file"
fi

# ---------------------------------------------------------------- bench tools
mkdir -p "$build_dir"
note "building gen_log and yardstick in $build_dir"
"${CXX:-g++}" -std=c++20 -O2 -o "$build_dir/gen_log" "$script_dir/gen_log.cpp"
"${CC:-gcc}" -std=c11 -O2 -o "$build_dir/yardstick" "$script_dir/yardstick.c"
gen_log=$build_dir/gen_log
yardstick=$build_dir/yardstick

timecmd=/usr/bin/time
if [[ ! -x $timecmd ]] && [[ $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
    note "installing GNU time for the peak-memory column"
    apt-get install -y time >/dev/null 2>&1 ||
        { apt-get update >/dev/null 2>&1 && apt-get install -y time >/dev/null 2>&1; } || true
fi
[[ -x $timecmd ]] || note "GNU time not available: peak memory shows as n/a"

# ------------------------------------------------------------------ work area
work=$(mktemp -d "${TMPDIR:-/tmp}/fragtally-bench.XXXXXX")
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 130' INT TERM

# Room for the largest log plus one file-mode output (about 0.8x the log).
need_kib=0
for mib in "${sizes[@]}"; do need_kib=$((need_kib + mib * 1024)); done
need_kib=$((need_kib + ${sizes[-1]} * 1024 + 64 * 1024))
free_kib=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
((free_kib >= need_kib)) || die "$work has $((free_kib / 1024)) MiB free, needs $((need_kib / 1024)) MiB"

phrases=("in the wrong place" "melted himself" "into the lava" "blew himself up" "cratered"
    "was railed by" "was electrocuted by" "was gunned down by" "machinegunned by" "melted by"
    "almost dodged" "was pummeled by" "ate" "rocket")
grep_args=(-c -F)
for p in "${phrases[@]}"; do grep_args+=(-e "$p"); done

# One timed run: run_once <dir> <null|pipe|file> <ok-statuses> <cmd...>
# Prints nanoseconds; fails loudly on an unexpected exit status.
run_once() {
    local dir=$1 mode=$2 ok=$3 t0 t1 rc
    shift 3
    t0=$(date +%s%N)
    case $mode in
        null) (cd "$dir" && exec "$@" >/dev/null) && rc=0 || rc=$? ;;
        pipe) (set +e +o pipefail; cd "$dir" || exit 99; "$@" | cat >/dev/null; exit "${PIPESTATUS[0]}") && rc=0 || rc=$? ;;
        file) (cd "$dir" && exec "$@" >"$dir/stdout.out") && rc=0 || rc=$? ;;
    esac
    t1=$(date +%s%N)
    rm -f "$dir/stdout.out"
    [[ " $ok " == *" $rc "* ]] || die "'$*' in $dir exited with status $rc (expected $ok)"
    echo $((t1 - t0))
}

# Median of N runs in seconds: median <dir> <mode> <ok-statuses> <cmd...>
median() {
    local -a ns=()
    local i
    for ((i = 0; i < runs; i++)); do ns+=("$(run_once "$@")"); done
    printf '%s\n' "${ns[@]}" | sort -n | awk '
        { t[NR] = $1 / 1e9 }
        END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.4f\n", m }'
}

# Untimed run that checks the output and measures peak memory:
# check_run <label> <dir> <expected-lines> <cmd...>; prints peak KiB.
check_run() {
    local label=$1 dir=$2 expected=$3 rc count peak=n/a
    shift 3
    rm -f "$dir/qconsole.txt"
    if [[ -x $timecmd ]]; then
        (set +e +o pipefail; cd "$dir" || exit 99
            "$timecmd" -f %M -o "$dir/mem.out" "$@" | grep -c ' lines parsed\.$' >"$dir/count.out"
            exit "${PIPESTATUS[0]}") && rc=0 || rc=$?
        peak=$(tail -n 1 "$dir/mem.out")
    else
        (set +e +o pipefail; cd "$dir" || exit 99
            "$@" | grep -c ' lines parsed\.$' >"$dir/count.out"
            exit "${PIPESTATUS[0]}") && rc=0 || rc=$?
    fi
    count=$(<"$dir/count.out")
    [[ $rc == 0 || $rc == 1 ]] || die "$label exited with status $rc"
    [[ $count == "$expected" ]] ||
        die "$label printed $count progress lines, wc -l counts $expected: the timings would mean nothing"
    [[ -s $dir/qconsole.txt ]] || die "$label wrote no qconsole.txt"
    echo "$peak"
}

# ------------------------------------------------------------------- the runs
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)
commit=$(git -C "$repo_root" rev-parse --short HEAD 2>/dev/null || echo unknown)
echo "fragtally benchmark  $(date -u '+%Y-%m-%d %H:%M UTC')  commit $commit"
echo "cpu: ${cpu:-unknown} ($(nproc) cores)   kernel $(uname -r)   compiler: $("${CXX:-g++}" --version | head -n 1)"
echo "fragtally: $fragtally   runs per case: $runs (median)   seed: $seed"
[[ -n $baseline ]] && echo "baseline: $baseline"
echo

rows=()  # "tool|output|size label|bytes|seconds|peak|log index"
declare -A ref_frag ref_wc

for mib in "${sizes[@]}"; do
    label="$mib MiB"
    ((mib >= 1024)) && label="$((mib / 1024)) GiB"
    log=$work/log-$mib.log
    t0=$(date +%s%N)
    "$gen_log" "$seed" "${mib}M" >"$log"
    t1=$(date +%s%N)
    bytes=$(stat -c %s "$log")
    note "generated $label log ($bytes bytes) in $(awk -v n=$((t1 - t0)) 'BEGIN { printf "%.2f", n / 1e9 }') s"

    for tool in fragtally baseline yardstick wc grep; do
        mkdir -p "$work/$tool-$mib"
        ln -s "$log" "$work/$tool-$mib/qconsole.log"
    done
    lines=$(wc -l <"$log")
    cat "$log" >/dev/null  # page cache

    note "$label: checking output and peak memory"
    peak_frag=$(check_run fragtally "$work/fragtally-$mib" "$lines" "$fragtally")
    peak_yard=$(check_run yardstick "$work/yardstick-$mib" "$lines" "$yardstick")
    if [[ -n $baseline ]]; then
        peak_base=$(check_run baseline "$work/baseline-$mib" "$lines" "$baseline")
        cmp -s "$work/fragtally-$mib/qconsole.txt" "$work/baseline-$mib/qconsole.txt" ||
            die "fragtally and the baseline wrote different reports"
    fi

    for mode in null pipe file; do
        note "$label: fragtally, output to $mode"
        s=$(median "$work/fragtally-$mib" "$mode" "0 1" "$fragtally")
        rows+=("fragtally|$mode|$label|$bytes|$s|$peak_frag|$mib")
        [[ $mode == null ]] && ref_frag[$mib]=$s
        if [[ -n $baseline ]]; then
            note "$label: baseline, output to $mode"
            s=$(median "$work/baseline-$mib" "$mode" "0 1" "$baseline")
            rows+=("baseline|$mode|$label|$bytes|$s|$peak_base|$mib")
        fi
        note "$label: yardstick, output to $mode"
        s=$(median "$work/yardstick-$mib" "$mode" "0 1" "$yardstick")
        rows+=("yardstick|$mode|$label|$bytes|$s|$peak_yard|$mib")
    done
    note "$label: wc -l"
    s=$(median "$work/wc-$mib" null "0" wc -l qconsole.log)
    rows+=("wc -l|null|$label|$bytes|$s|-|$mib")
    ref_wc[$mib]=$s
    # GNU grep stops at the first match when its output is /dev/null, so its
    # count goes to a file instead.
    note "$label: grep -c -F"
    s=$(median "$work/grep-$mib" file "0 1" grep "${grep_args[@]}" qconsole.log)
    rows+=("grep -c -F|file|$label|$bytes|$s|-|$mib")

    rm -f "$log"
done

echo "output: null = >/dev/null, pipe = | cat >/dev/null, file = to a file"
echo "x fragtally / x wc -l: this median divided by fragtally's (output null) / wc -l's on the same log"
echo
row() { printf '%-11s %-6s %-8s %11s %10s %12s %9s %10s\n' "$@"; }
row tool output log "median s" "MB/s" "x fragtally" "x wc -l" "peak KiB"
for entry in "${rows[@]}"; do
    IFS='|' read -r tool mode label bytes s peak mib <<<"$entry"
    row "$tool" "$mode" "$label" "$s" \
        "$(awk -v b="$bytes" -v s="$s" 'BEGIN { if (s > 0) printf "%.1f", b / 1e6 / s; else print "inf" }')" \
        "$(awk -v s="$s" -v r="${ref_frag[$mib]}" 'BEGIN { if (r > 0) printf "%.2f", s / r; else print "n/a" }')" \
        "$(awk -v s="$s" -v r="${ref_wc[$mib]}" 'BEGIN { if (r > 0) printf "%.1f", s / r; else print "n/a" }')" \
        "$peak"
done
