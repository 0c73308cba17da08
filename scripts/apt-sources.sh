# Reading the machine's apt sources, for scripts/install-deps.sh. Sourced,
# not run; every function takes the apt configuration folder (/etc/apt on the
# machine, a sample folder in tests/scripts/) so that it can be tested.

# Every enabled binary entry of the sources in APT_DIR (sources.list,
# sources.list.d/*.list in the one-line format, sources.list.d/*.sources in
# the deb822 format), one per URI and suite, as
#   URI <tab> SUITE <tab> COMPONENTS <tab> SIGNED-BY
# with the components blank-separated and SIGNED-BY empty when not given (a
# key embedded in a deb822 entry keeps its lines, joined by "\n").
apt_source_entries() {  # APT_DIR
  local dir=$1 file
  local lists=() deb822=()
  [ -f "$dir/sources.list" ] && lists+=("$dir/sources.list")
  for file in "$dir"/sources.list.d/*.list; do [ -f "$file" ] && lists+=("$file"); done
  for file in "$dir"/sources.list.d/*.sources; do [ -f "$file" ] && deb822+=("$file"); done
  if [ ${#lists[@]} -ne 0 ]; then
    awk '
      { sub(/#.*/, "") }
      $1 != "deb" { next }
      {
        signed = ""; i = 2
        if ($i ~ /^\[/) {  # [ option=value ... ], blanks inside the brackets or not
          options = ""
          for (; i <= NF; i++) {
            options = options " " $i
            if ($i ~ /\]$/) { i++; break }
          }
          gsub(/[\[\]]/, " ", options)
          n = split(options, words, " ")
          for (w = 1; w <= n; w++) if (words[w] ~ /^signed-by=/) signed = substr(words[w], 11)
        }
        if (i + 1 > NF) next
        uri = $i; suite = $(i + 1); components = ""
        for (c = i + 2; c <= NF; c++) components = components (components == "" ? "" : " ") $c
        printf "%s\t%s\t%s\t%s\n", uri, suite, components, signed
      }' "${lists[@]}"
  fi
  if [ ${#deb822[@]} -ne 0 ]; then
    # A paragraph per entry; a line starting with a blank continues the
    # field before it.
    awk '
      function flush(   u, s, nu, ns, uris, suites, enabled) {
        enabled = tolower(field["enabled"])
        if (field["types"] ~ /(^| )deb( |$)/ && enabled != "no" && enabled != "false") {
          nu = split(field["uris"], uris, " "); ns = split(field["suites"], suites, " ")
          for (u = 1; u <= nu; u++)
            for (s = 1; s <= ns; s++)
              printf "%s\t%s\t%s\t%s\n", uris[u], suites[s], field["components"], field["signed-by"]
        }
        delete field; last = ""
      }
      FNR == 1 && NR > 1 { flush() }
      /^#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ {
        if (last != "") {
          line = $0; sub(/^[ \t]+/, "", line)
          if (last == "signed-by") field[last] = field[last] "\\n" line
          else field[last] = field[last] " " line
        }
        next
      }
      {
        colon = index($0, ":")
        if (colon == 0) next
        last = tolower(substr($0, 1, colon - 1))
        value = substr($0, colon + 1); gsub(/^[ \t]+|[ \t]+$/, "", value)
        field[last] = value
      }
      END { flush() }' "${deb822[@]}"
  fi
}

# The deb822 entry that adds CODENAME-backports from the mirror that serves
# the Debian archive's CODENAME suite (main component) in APT_DIR, with the
# same key; an entry whose URI ends in /debian is taken before any other, so
# another vendor's archive of the same suite name listed first is passed
# over. Prints nothing when CODENAME-backports is already there. Fails when no
# entry serves CODENAME's main component.
backports_source() {  # APT_DIR CODENAME
  local dir=$1 codename=$2 entries
  entries=$(apt_source_entries "$dir")
  if awk -F'\t' -v suite="$codename-backports" '$2 == suite { found = 1 } END { exit !found }' <<<"$entries"; then
    return 0
  fi
  awk -F'\t' -v suite="$codename" '
    $2 != suite || (" " $3 " ") !~ / main / { next }
    $1 ~ /\/debian\/?$/ && debian == "" { debian = $0 }
    other == "" { other = $0 }
    END {
      entry = debian != "" ? debian : other
      if (entry == "") exit 1
      split(entry, f, "\t")
      printf "Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\n", f[1], suite
      if (f[4] != "") {
        key = f[4]; gsub(/\\n/, "\n ", key)
        printf "Signed-By: %s\n", key
      }
    }' <<<"$entries"
}
