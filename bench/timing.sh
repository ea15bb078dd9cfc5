# Timing helpers for the benchmark scripts (sourced, not run).
#
# Every figure is taken warm: one untimed run first brings the files into the page cache and
# the programs into memory, then BENCH_RUNS timed runs (default 5) follow and the median
# counts. Before every run, timed or not, BENCH_PREPARE (a shell command, may be empty) runs
# untimed: it removes a previous run's output and syncs, so that no run pays for writing
# back the previous one's dirty pages.

BENCH_RUNS=${BENCH_RUNS:-5}
BENCH_PREPARE=${BENCH_PREPARE:-}

# measure <command...>: sets measured_seconds (median wall time, seconds) and measured_kib
# (largest peak resident set over the timed runs, KiB). Output of the command is dropped;
# a failing run stops the benchmark.
measure() {
  local times=() peak=0 i start end kib report
  report=$(mktemp)
  for ((i = 0; i <= BENCH_RUNS; i++)); do
    [ -z "$BENCH_PREPARE" ] || eval "$BENCH_PREPARE"
    start=$(date +%s%N)
    if ! /usr/bin/time -f '%M' -o "$report" "$@" >/dev/null 2>&1; then
      echo "benchmark: this command failed: $*" >&2
      rm -f "$report"
      return 1
    fi
    end=$(date +%s%N)
    [ "$i" -gt 0 ] || continue  # the warm-up run
    times+=($((end - start)))
    kib=$(tail -n 1 "$report")
    [ "$kib" -le "$peak" ] || peak=$kib
  done
  rm -f "$report"
  measured_seconds=$(printf '%s\n' "${times[@]}" | sort -n |
    awk '{ t[NR] = $1 } END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.3f", m / 1e9 }')
  measured_kib=$peak
}

# ratio <a> <b>: a / b with three decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

# mb_per_s <bytes> <seconds>
mb_per_s() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / s / 1e6 }'; }

# read_time_report <file of /usr/bin/time -v>: sets wall, user and sys (seconds) and kib (peak
# resident set, KiB).
read_time_report() {
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (k = 1; k <= n; k++) s = s * 60 + t[k]; print s }' "$1")
  user=$(awk -F': ' '/User time/ { print $2 }' "$1")
  sys=$(awk -F': ' '/System time/ { print $2 }' "$1")
  kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$1")
}

# mib <KiB>
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# The table every section prints: one row per program, the baseline's ratio 1.000.
table_head() {
  printf '  %-30s %9s %9s %9s %8s  %s\n' program "median s" "MB/s" "peak MiB" ratio "target"
}

# table_row <label> <seconds> <bytes processed> <peak KiB> <ratio> [target and verdict]
table_row() {
  printf '  %-30s %9s %9s %9s %8s  %s\n' "$1" "$2" "$(mb_per_s "$3" "$2")" "$(mib "$4")" "$5" "${6:-}"
}

# verdict <value> <le|ge> <limit>: "ok" or "MISSED", for the target column.
verdict() {
  awk -v v="$1" -v op="$2" -v l="$3" 'BEGIN { ok = op == "le" ? v <= l : v >= l; print ok ? "ok" : "MISSED" }'
}

# How the Windows build's 32-bit code runs here: "native", or "emulated" by qemu-i386, where
# its times say more about the emulator than about the program.
# shellcheck source=scripts/i386-support
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/i386-support"
i386_runs_as=$(i386_way)

# row_verdict <row label> <value> <le|ge> <limit>: the verdict, except for a Windows row
# ("(Wine)" in its label) whose 32-bit code is emulated: that one is not judged.
row_verdict() {
  case $1 in
    *"(Wine)"*) [ "$i386_runs_as" = native ] || { echo "not judged, emulated"; return; } ;;
  esac
  verdict "$2" "$3" "$4"
}

# wine_path <path>: the path as a Windows program under Wine names it (drive Z: is /).
wine_path() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }

# machine_line: the processors, the memory and the load average before a benchmark.
machine_line() {
  echo "machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"\
    "$(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) memory, load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
}

# wine_line: the Wine version and how its 32-bit code runs here.
wine_line() {
  if [ "$i386_runs_as" = native ]; then
    echo "Windows build: $(wine --version), 32-bit code runs natively"
  else
    echo "Windows build: $(wine --version), 32-bit code emulated by $(qemu-i386 --version | head -n 1);"\
      "the (Wine) rows measure the emulator as well, so they are shown but not judged"
  fi
}

# watch_exe <pid of time> <pattern>: prints the pid and VmHWM of time's child while its command
# line matches the pattern (a program.exe and its command word), every 0.1 s until time has
# exited. Wine runs the program in the process it was started as, so that is the process whose
# peak /usr/bin/time reports.
watch_exe() {
  local p
  while kill -0 "$1" 2>/dev/null; do
    for p in $(pgrep -P "$1" || true); do
      tr '\0' ' ' 2>/dev/null <"/proc/$p/cmdline" | grep -q "$2" &&
        echo "$p $(awk '/^VmHWM:/ { print $2 }' "/proc/$p/status" 2>/dev/null)"
    done
    sleep 0.1
  done
}
