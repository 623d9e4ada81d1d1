#!/usr/bin/env bash
# Checks that no #include points up the stack. The layers, lowest first, are the ones the
# top CMakeLists.txt adds and the libraries link in that order:
#   platform/ (and resources/, the data platform/resources embeds)
#   engine/
#   settings/   (the saver's settings record and dialog, over engine/core and platform/)
#   clock/
#   app/
# A layer may include its own headers and those of any layer below it, never one above.
# tools/ are build-time programs beside the stack: they may use platform/ and engine/ only.
# tests/, bench/ and fuzz/ mirror the folders they exercise and take that folder's layer
# (tests/engine/scene is engine, fuzz/d3dx is platform); a harness folder that mirrors none
# (tests/tools, tests/packaging, bench/speed, ...) exercises the whole program and sits on top,
# and the clock's sit with the shell's: the clock scene runs inside the shell that hosts it.
# tests/support holds the seams every harness shares; it may use platform/ and engine/ only.
# Nothing outside tests/, bench/ and fuzz/ may include from them.
#
# Usage: scripts/check-layers.sh [--summary]
# Prints every offending include and exits non-zero on any. --summary also prints how many
# includes lead from each folder of the program to each other one (the picture of the layers).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/source-files.sh |
  xargs -0 grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"][^>"]+[>"]' |
  awk -v summary="$([ "${1:-}" = --summary ] && echo 1)" '
    BEGIN {
      rank["platform"] = 0; rank["resources"] = 0; rank["engine"] = 1; rank["settings"] = 2
      rank["clock"] = 3; rank["app"] = 4; top = 5
      name[0] = "platform"; name[1] = "engine"; name[2] = "settings"; name[3] = "clock"
      name[4] = "app"; name[5] = "top"
      bad = 0
    }
    function exists(path) { return (system("test -e \"" path "\"") == 0) }
    # Layer of a product folder: platform/d3d9/x.h -> 0. Tools are beside the stack but may
    # reach down to engine/, so they rank as engine for what they include.
    function product_rank(path,   p) {
      split(path, p, "/")
      if (p[1] in rank) return rank[p[1]]
      if (p[1] == "tools") return rank["engine"]
      return -1
    }
    # Layer of a harness file from the folder it mirrors: tests/engine/scene/x -> engine,
    # fuzz/d3dx/x -> platform (platform/d3dx exists), tests/tools/... -> top.
    function harness_rank(path,   p) {
      split(path, p, "/")
      if (p[1] == "tests" && p[2] == "support") return rank["engine"]
      if (p[2] == "clock") return rank["app"]
      if (p[2] in rank) return rank[p[2]]
      if (exists("platform/" p[2])) return rank["platform"]
      if (exists("engine/" p[2])) return rank["engine"]
      return top
    }
    function harness(path) { return path ~ /^(tests|bench|fuzz)\// }
    {
      file = $0; sub(/:.*/, "", file)
      header = $0; sub(/^[^<"]*[<"]/, "", header); sub(/[>"].*/, "", header)
      split(header, h, "/")
      target = h[1]
      if (!(target in rank) && target != "tools" && !harness(header)) next  # system, same folder
      split(file, f, "/")
      if (!harness(file) && f[1] != target) edges[f[1] " -> " target]++
      why = ""
      if (harness(file)) {
        mine = harness_rank(file)
        if (harness(header)) {
          if (header !~ /^tests\/support\// && harness_rank(header) > mine)
            why = "a harness at the " name[mine] " layer includes one at the " name[harness_rank(header)] " layer"
        } else if (target == "tools") {
          if (mine < top) why = "only tests of tools include tools/"
        } else if (product_rank(header) > mine) {
          why = "a harness at the " name[mine] " layer includes " target "/"
        }
      } else {
        if (harness(header)) why = "product code includes a test, benchmark or fuzz harness"
        else if (f[1] == "tools" && target == "tools") { if (h[2] != f[2]) why = "one tool includes another" }
        else if (target == "tools") why = "only tools include tools/"
        else if (product_rank(header) > product_rank(file))
          why = f[1] "/ includes " target "/, which is above it"
      }
      if (why == "") next
      line = $0; sub(/^[^:]*:/, "", line); sub(/:.*/, "", line)
      printf "%s:%s: includes %s: %s\n", file, line, header, why
      bad++
    }
    END {
      if (summary) {
        print "includes between the folders of the program (tests, benchmarks and fuzz targets left out):"
        for (e in edges) printf "  %-22s %d\n", e, edges[e] | "sort"
        close("sort")
      }
      if (bad) { printf "%d include(s) point up the stack\n", bad; exit 1 }
    }'
