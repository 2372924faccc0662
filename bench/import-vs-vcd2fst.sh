#!/usr/bin/env bash
# Import benchmark: tessel-wave convert VCD -> .awf side by side with gtkwave's vcd2fst.
#
#   bench/import-vs-vcd2fst.sh [BUILD_DIR] [SCALE]
#
# BUILD_DIR: a release build with benchmarks on (default build-release:
#   cmake --preset release && cmake --build --preset release --target tessel-wave vcdgen).
# SCALE: size of the generated files; 1 gives the ~500 MB files, 0.1 the ~50 MB ones.
# The files go to $SCRATCH (default /tmp/tessel-bench), outside the repository, and are kept
# for the next run. GHDL_STOP sets the simulated time of the GHDL file (default 300us at scale 1).
# Every figure comes from /usr/bin/time -v around one command, printed with the command: wall
# time, cpu time (user + system, which other jobs on a shared machine disturb less) and peak RSS.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build-release}" && pwd)
scale=${2:-1}
scratch=${SCRATCH:-/tmp/tessel-bench}
tw="$build/tessel-wave"
gen="$build/bench/vcdgen"
mkdir -p "$scratch"

for tool in "$tw" "$gen"; do
    [ -x "$tool" ] || { echo "missing $tool: build tessel-wave and vcdgen first" >&2; exit 1; }
done
command -v vcd2fst >/dev/null || { echo "vcd2fst missing: scripts/setup installs gtkwave" >&2; exit 1; }

bus="$scratch/bus-$scale.vcd"
bit="$scratch/bit-$scale.vcd"
ghdlvcd="$scratch/ghdl-$scale.vcd"
[ -s "$bus" ] || "$gen" bus "$bus" --scale "$scale"
[ -s "$bit" ] || "$gen" bit "$bit" --scale "$scale"
if [ ! -s "$ghdlvcd" ] && command -v ghdl >/dev/null; then
    stop=${GHDL_STOP:-$(awk -v s="$scale" 'BEGIN { printf "%dus", 300 * s }')}
    work=$(mktemp -d)
    (cd "$work" && ghdl -a --std=08 "$repo/bench/ghdl/busy_tb.vhd" && ghdl -e --std=08 busy_tb &&
        ghdl -r --std=08 busy_tb --vcd="$ghdlvcd" --stop-time="$stop" >/dev/null 2>&1 || true)
    rm -rf "$work"
fi

mib() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }
mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1e6 }'; }

# measure LABEL OUTPUT COMMAND...: runs the command under /usr/bin/time -v and prints one row.
measure() {
    local label=$1 output=$2
    shift 2
    rm -f "$output"
    if ! /usr/bin/time -v -o "$scratch/time.txt" "$@" >/dev/null 2>"$scratch/stderr.txt"; then
        echo "FAILED: $*" >&2
        cat "$scratch/stderr.txt" >&2
        return 1
    fi
    local wall rss seconds user system cpu
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$scratch/time.txt")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$scratch/time.txt")
    user=$(sed -n 's/.*User time (seconds): //p' "$scratch/time.txt")
    system=$(sed -n 's/.*System time (seconds): //p' "$scratch/time.txt")
    seconds=$(echo "$wall" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    printf '%-14s %8.2f s %8.2f s %6s MiB %8s MB   %s\n' "$label" "$seconds" "$cpu" \
        "$(mib "$rss")" "$(mb "$(stat -c %s "$output")")" "$*"
    echo "$seconds $cpu" >"$scratch/last-seconds.txt"
}

echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); $(date -u)"
for input in "$bus" "$bit" "$ghdlvcd"; do
    [ -s "$input" ] || continue
    name=$(basename "$input" .vcd)
    echo
    echo "== $name.vcd: $(mb "$(stat -c %s "$input")") MB"
    printf '%-14s %10s %10s %10s %11s   %s\n' tool wall "cpu (u+s)" "peak RSS" output command
    measure vcd2fst "$scratch/$name.fst" vcd2fst "$input" "$scratch/$name.fst"
    read -r refWall refCpu <"$scratch/last-seconds.txt"
    for threads in 1 2; do
        measure "convert -t$threads" "$scratch/$name.awf" \
            "$tw" convert "$input" "$scratch/$name.awf" --threads "$threads"
        read -r wall cpu <"$scratch/last-seconds.txt"
        awk -v rw="$refWall" -v rc="$refCpu" -v w="$wall" -v c="$cpu" 'BEGIN {
            printf "%-14s vs vcd2fst: %.1fx in wall time, %.1fx in cpu time\n", "",
                   (w > 0 ? rw / w : 0), (c > 0 ? rc / c : 0) }'
    done
    rm -f "$scratch/$name.fst" "$scratch/$name.awf"
done
