# Shared by bench/run.sh and bench/modern_bench.sh (sourced, not run): one timed run of a tool,
# vipsthumbnail as one process and as two side by side, a fresh output folder, and the table of
# medians. The caller sets `work` (scratch folder), `raw` (where the runs are written) and
# `priority` (a command prefix such as nice, or an empty array).

# measure LABEL COUNT COMMAND...: one timed run; wall, user and system seconds, peak resident KB.
measure() {
  local label=$1 count=$2
  shift 2
  if ! "${priority[@]}" /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" >"$work/out.txt" 2>"$work/err.txt"; then
    echo "bench: $label failed:" >&2
    tail -5 "$work/err.txt" >&2
    exit 1
  fi
  echo "$label $count $(cat "$work/time.txt")" >>"$raw"
}

vips_one() {  # vips_one OUTDIR FILES...
  local out=$1
  shift
  vipsthumbnail --size 160x120 -o "$out/%s_v.jpg[Q=75]" "$@"
}
vips_two() {  # vips_two OUTDIR FILES...: the files split between two processes
  local out=$1
  shift
  local half=$((($# + 1) / 2))
  vipsthumbnail --size 160x120 -o "$out/%s_v.jpg[Q=75]" "${@:1:half}" &
  vipsthumbnail --size 160x120 -o "$out/%s_v.jpg[Q=75]" "${@:half+1}" &
  wait
}

fresh() { rm -rf "$work/out" && mkdir -p "$work/out" && echo "$work/out"; }

# Medians per label, one line each: label, runs, wall s, pictures/s (from wall time), CPU ms per
# picture, peak MB.
medians() {
  awk '
    { label = $1; count[label] = $2; n = ++runs[label]
      wall[label, n] = $3; cpu[label, n] = $4 + $5; mem[label, n] = $6 }
    function median(arr, label, k,   i, j, t, v) {
      for (i = 1; i <= k; i++) v[i] = arr[label, i]
      for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
      return (k % 2) ? v[(k + 1) / 2] : (v[k / 2] + v[k / 2 + 1]) / 2
    }
    END {
      for (label in runs) {
        k = runs[label]; w = median(wall, label, k); c = median(cpu, label, k); m = median(mem, label, k)
        printf "%s %d %.3f %.2f %.1f %.1f\n", label, k, w, count[label] / w, 1000 * c / count[label], m / 1024
      }
    }' "$raw" | sort
}
# value LABEL FIELD: a field of the medians in `table`; ratio A B: A / B with two decimals.
value() { awk -v l="$1" -v f="$2" '$1 == l { print $f }' <<<"$table"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
