#!/usr/bin/env bash
# Prints which of the project's static libraries each library takes symbols from, and any link
# cycles among them; exits 1 when there is a cycle. Reads the libraries of an existing build.
#   tools/linkgraph.sh [build-dir] [-v|-vv]   -v names three symbols behind each edge, -vv all
set -euo pipefail
build=build-test verbose=0 most=3
for a in "$@"; do
  case "$a" in -v) verbose=1 ;; -vv) verbose=1 most=100000 ;; *) build=$a ;; esac
done
libs=$(find "$build/platform" "$build/src" -name 'lib*.a' | sort)
[ -n "$libs" ] || { echo "no libraries under $build" >&2; exit 2; }

for f in $libs; do
  lib=$(basename "$f" .a); lib=${lib#lib}
  # A weak definition (inline function, template, vague-linkage type info) ties a library to
  # another only when no library defines the symbol strongly.
  nm -g "$f" 2>/dev/null | awk -v lib="$lib" 'NF >= 2 { t = $(NF-1); s = $NF;
    if (t == "U") print lib, "U", s; else if (t ~ /^[TDBRGSC]$/) print lib, "D", s;
    else if (t ~ /^[VWvwu]$/) print lib, "W", s }'
done | awk -v verbose="$verbose" -v most="$most" '
  { if ($2 == "U") und[$1, $3] = 1; else if (!(($1, $3) in own)) { own[$1, $3] = 1; if ($2 == "D") strong[$3] = strong[$3] " " $1; else weak[$3] = weak[$3] " " $1 }
    names[$1] = 1 }
  END {
    for (k in und) {
      split(k, p, SUBSEP); if ((p[1], p[2]) in own) continue
      n = split(p[2] in strong ? strong[p[2]] : weak[p[2]], by, " ")
      for (i = 1; i <= n; i++) if (by[i] != p[1]) {
        e = p[1] SUBSEP by[i]; count[e]++; reach[p[1], by[i]] = 1
        if (count[e] <= most) sample[e] = sample[e] " " p[2]
      }
    }
    m = 0; for (l in names) list[++m] = l
    for (i = 1; i <= m; i++) for (j = i + 1; j <= m; j++) if (list[j] < list[i]) { t = list[i]; list[i] = list[j]; list[j] = t }
    for (k = 1; k <= m; k++) for (i = 1; i <= m; i++) if ((list[i], list[k]) in reach)
      for (j = 1; j <= m; j++) if ((list[k], list[j]) in reach) reach[list[i], list[j]] = 1
    for (i = 1; i <= m; i++) {
      line = ""
      for (j = 1; j <= m; j++) if ((list[i], list[j]) in count) line = line " " list[j] "(" count[list[i], list[j]] ")"
      printf "%-16s->%s\n", list[i], line
      if (verbose) for (j = 1; j <= m; j++) if ((list[i], list[j]) in count)
        printf "    %s -> %s:%s\n", list[i], list[j], sample[list[i], list[j]]
    }
    cycles = 0
    for (i = 1; i <= m; i++) {
      if (list[i] in done) continue
      group = list[i]; size = 1
      for (j = i + 1; j <= m; j++) if ((list[i], list[j]) in reach && (list[j], list[i]) in reach) {
        group = group " " list[j]; size++; done[list[j]] = 1 }
      if (size > 1 || (list[i], list[i]) in reach) { print "cycle: " group; cycles++ }
    }
    if (cycles) exit 1
    # Each library sits one rung above the highest library it takes from.
    for (pass = 1; pass <= m; pass++) for (i = 1; i <= m; i++) for (j = 1; j <= m; j++)
      if ((list[i], list[j]) in count && rung[list[i]] <= rung[list[j]]) rung[list[i]] = rung[list[j]] + 1
    top = 0; for (l in rung) if (rung[l] > top) top = rung[l]
    print "no cycles; the ladder, lowest first:"
    for (r = 0; r <= top; r++) {
      line = ""; for (i = 1; i <= m; i++) if (rung[list[i]] + 0 == r) line = line " " list[i]
      printf "  %2d:%s\n", r, line
    }
  }' | { if [ "$verbose" = 1 ]; then c++filt; else cat; fi; }
