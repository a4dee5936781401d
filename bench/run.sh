#!/usr/bin/env bash
# Times fragtally on generated console logs of both shapes (games shaped like
# real ones, and players churning) against a plain stdio yardstick
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
#   BENCH_SHAPES     gen_log shapes to time (default "games churn")
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

read -r -a shapes <<<"${BENCH_SHAPES:-games churn}"
for shape in "${shapes[@]}"; do
    [[ $shape == games || $shape == churn ]] || die "BENCH_SHAPES: unknown shape '$shape'"
done

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

baseline=
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
need_kib=$((${sizes[-1]} * 1024 * 2 + 64 * 1024))
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
            "$timecmd" -f %M -o "$dir/mem.out" "$@" 2>"$dir/err.out" |
                grep -c ' lines parsed\.$' >"$dir/count.out"
            exit "${PIPESTATUS[0]}") && rc=0 || rc=$?
        peak=$(tail -n 1 "$dir/mem.out")
    else
        (set +e +o pipefail; cd "$dir" || exit 99
            "$@" 2>"$dir/err.out" | grep -c ' lines parsed\.$' >"$dir/count.out"
            exit "${PIPESTATUS[0]}") && rc=0 || rc=$?
    fi
    count=$(<"$dir/count.out")
    [[ $rc == 0 || $rc == 1 ]] || die "$label exited with status $rc"
    [[ ! -s $dir/err.out ]] || die "$label complained: $(head -n 3 "$dir/err.out")"
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
[[ -z $baseline ]] || echo "baseline: $baseline"
echo

rows=()  # "tool|output|shape|size label|bytes|seconds|peak|log key"
declare -A ref_frag ref_wc

# "full" is fragtally counting by the full rules, timed beside the classic rules in every run.
tools=(fragtally full)
[[ -z $baseline ]] || tools+=(baseline)
declare -A binary=([fragtally]=$fragtally [full]=$fragtally [baseline]=$baseline [yardstick]=$yardstick)
declare -A options=([full]="--rules full")

for shape in "${shapes[@]}"; do
for mib in "${sizes[@]}"; do
    key=$shape-$mib
    label="$mib MiB"
    ((mib >= 1024)) && label="$((mib / 1024)) GiB"
    log=$work/log-$key.log
    t0=$(date +%s%N)
    "$gen_log" --shape="$shape" "$seed" "${mib}M" >"$log"
    t1=$(date +%s%N)
    bytes=$(stat -c %s "$log")
    note "generated $shape $label log ($bytes bytes) in $(awk -v n=$((t1 - t0)) 'BEGIN { printf "%.2f", n / 1e9 }') s"

    for tool in "${tools[@]}" yardstick wc grep; do
        mkdir -p "$work/$tool-$key"
        ln -s "$log" "$work/$tool-$key/qconsole.log"
    done
    lines=$(wc -l <"$log")
    cat "$log" >/dev/null  # page cache

    declare -A peak=()
    for tool in "${tools[@]}" yardstick; do
        note "$shape $label: checking the output and peak memory of $tool"
        # shellcheck disable=SC2086  # the options split into words
        peak[$tool]=$(check_run "$tool" "$work/$tool-$key" "$lines" "${binary[$tool]}" ${options[$tool]:-})
    done
    if [[ -n $baseline ]]; then
        cmp -s "$work/fragtally-$key/qconsole.txt" "$work/baseline-$key/qconsole.txt" ||
            die "fragtally and the baseline wrote different reports"
    fi

    for mode in null pipe file; do
        for tool in "${tools[@]}" yardstick; do
            note "$shape $label: $tool, output to $mode"
            # shellcheck disable=SC2086
            s=$(median "$work/$tool-$key" "$mode" "0 1" "${binary[$tool]}" ${options[$tool]:-})
            rows+=("$tool|$mode|$shape|$label|$bytes|$s|${peak[$tool]}|$key")
            [[ $tool == fragtally && $mode == null ]] && ref_frag[$key]=$s
        done
    done
    note "$shape $label: wc -l"
    s=$(median "$work/wc-$key" null "0" wc -l qconsole.log)
    rows+=("wc -l|null|$shape|$label|$bytes|$s|-|$key")
    ref_wc[$key]=$s
    # GNU grep stops at the first match when its output is /dev/null, so its
    # count goes to a file instead.
    note "$shape $label: grep -c -F"
    s=$(median "$work/grep-$key" file "0 1" grep "${grep_args[@]}" qconsole.log)
    rows+=("grep -c -F|file|$shape|$label|$bytes|$s|-|$key")

    rm -f "$log"
done
done

echo "output: null = >/dev/null, pipe = | cat >/dev/null, file = to a file"
echo "x fragtally / x wc -l: this median divided by fragtally's (output null) / wc -l's on the same log"
echo
row() { printf '%-11s %-6s %-6s %-8s %11s %10s %12s %9s %10s\n' "$@"; }
row tool output shape log "median s" "MB/s" "x fragtally" "x wc -l" "peak KiB"
for entry in "${rows[@]}"; do
    IFS='|' read -r tool mode shape label bytes s peak key <<<"$entry"
    row "$tool" "$mode" "$shape" "$label" "$s" \
        "$(awk -v b="$bytes" -v s="$s" 'BEGIN { if (s > 0) printf "%.1f", b / 1e6 / s; else print "inf" }')" \
        "$(awk -v s="$s" -v r="${ref_frag[$key]}" 'BEGIN { if (r > 0) printf "%.2f", s / r; else print "n/a" }')" \
        "$(awk -v s="$s" -v r="${ref_wc[$key]}" 'BEGIN { if (r > 0) printf "%.1f", s / r; else print "n/a" }')" \
        "$peak"
done
