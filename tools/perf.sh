#!/usr/bin/env bash
# Measures what Glidora costs and prints one table:
#   - start-up to the first completed paint, glidora.exe against a minimal
#     Win32 program built the same way, in the same run (median, ratio);
#   - one full paint per board size against the least paint of this design,
#     a paint cycle that loads the picture once and makes one 300 x 300
#     BitBlt (median of 1000, ratio);
#   - the size of glidora.exe and of everything in it but the pictures;
#   - the engine benchmarks (tools/bench.sh).
# Runs the Windows programs under Wine in a private Xvfb display: the build
# that this host's Wine runs (scripts/wine.sh), whose name the table gives.
#   tools/perf.sh [start-up runs] [paint samples]
# Takes this clone's build trees as run.sh does, refusing while a test run
# uses them; Ctrl-C or SIGTERM ends it with all it started.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/guard.sh
source scripts/display.sh
guard_clone perf tools/perf.sh refuse
source scripts/wine.sh
choose_wine_build perf

startup_runs=${1:-15}
paint_samples=${2:-1000}

step --output /dev/null cmake --preset "$preset"
step --output /dev/null cmake --build --preset "$preset"
start_private_display 9>&-

# Runs a measuring program as a step, so that a signal ends it at once, and
# prints its lines made table rows by the sed expression given first.
measured=$build/perf-measured.txt
measure() {
    local rows=$1
    shift
    step --output "$measured" "$@"
    tr -d '\r' <"$measured" | sed -E "$rows"
}
wine_run=(scripts/wine-run.sh --arch "$GLIDORA_WINE_ARCH" "$prefix")

exe=$build/ui/glidora.exe
exe_bytes=$(stat -c %s "$exe")
# Each picture is embedded as its BMP file without the 14-byte file header.
picture_bytes=0
for picture in res/board3.bmp res/board4.bmp res/board5.bmp res/board6.bmp; do
    picture_bytes=$((picture_bytes + $(stat -c %s "$picture") - 14))
done
text_bytes=$(objdump -h "$exe" | awk '$2 == ".text" { print $3 }')

echo "| Measure ($preset build, $GLIDORA_WINE_ARCH) | Result |"
echo "|---|---|"
measure 's/^(startup [^ ]+|startup ratio) (.*)$/| \1 | \2 |/' \
    "${wine_run[@]}" "$build/tools/perf_startup.exe" "$exe" "$build/tools/perf_minimal.exe" "$startup_runs"
measure 's/^paint ([0-9x]+) (.*)$/| paint \1 | \2 |/' \
    "${wine_run[@]}" "$build/tools/perf_paint.exe" "$paint_samples"
echo "| glidora.exe size | $exe_bytes bytes |"
echo "| without the pictures | $((exe_bytes - picture_bytes)) bytes ($(((exe_bytes - picture_bytes + 1023) / 1024)) KiB) |"
echo "| .text (machine code) | $((16#$text_bytes)) bytes |"
measure 's/^([^ ]+) +(.*)$/| engine \1 | \2 |/' tools/bench.sh
