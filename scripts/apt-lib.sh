# Shared by scripts/deps and scripts/wine-i386-emulation (sourced, not run): Debian sources made
# from the machine's own configuration, never from a written-out mirror address, and an index
# update that survives a mirror in mid-sync.

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")

# The URIs of the machine's own base suite (its codename), from one-line .list files and deb822
# .sources files alike, one per line: "URI<TAB>Signed-By" (Signed-By may be empty).
base_suite_uris() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v suite="$codename" '
      $1 == "deb" {
        i = 2; signed = ""
        if ($i ~ /^\[/) {                     # options: [arch=amd64 signed-by=/path ...]
          while (i <= NF) {
            opt = $i; gsub(/[\[\]]/, "", opt)
            if (opt ~ /^signed-by=/) { signed = substr(opt, 11) }
            if ($i ~ /\]$/) { i++; break }
            i++
          }
        }
        if ($(i + 1) == suite) print $i "\t" signed
      }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$codename" '
      function flush() {
        if (isdeb && hassuite && enabled) { n = split(uris, u, " "); for (k = 1; k <= n; k++) print u[k] "\t" signed }
        isdeb = 0; hassuite = 0; enabled = 1; uris = ""; signed = ""
      }
      BEGIN { enabled = 1 }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      {
        key = tolower($1); sub(/:$/, "", key); val = $0; sub(/^[^:]*:[[:space:]]*/, "", val)
        if (key == "types") { n = split(val, t, " "); for (k = 1; k <= n; k++) if (t[k] == "deb") isdeb = 1 }
        else if (key == "suites") { n = split(val, s, " "); for (k = 1; k <= n; k++) if (s[k] == suite) hassuite = 1 }
        else if (key == "uris") uris = val
        else if (key == "signed-by") signed = val
        else if (key == "enabled" && tolower(val) == "no") enabled = 0
      }
      END { flush() }' "$f"
  done
}

# Writes a sources file for one more suite (or type) from the base suite's first configured URI:
# add_suite_source TYPE SUITE FILE [ARCHITECTURES]
add_suite_source() {
  local type=$1 suite=$2 file=$3 arches=${4:-} line uri signed
  line=$(base_suite_uris | head -n 1)
  uri=${line%%$'\t'*}
  signed=${line#*$'\t'}
  if [ -z "$codename" ] || [ -z "$uri" ]; then
    echo "deps: no Debian source for the base suite '${codename:-?}' is configured; cannot add $type $suite" >&2
    exit 1
  fi
  {
    echo "Types: $type"
    echo "URIs: $uri"
    echo "Suites: $suite"
    echo "Components: main"
    [ -n "$arches" ] && echo "Architectures: $arches"
    [ -n "$signed" ] && [ "$signed" != "$uri" ] && echo "Signed-By: $signed"
  } > "$file"
  echo "deps: added $type $suite from the configured source $uri"
}

add_deb_src() { add_suite_source deb-src "$codename" /etc/apt/sources.list.d/zelkora-src.sources; }

apt_update() {
  apt-get update -q && return 0
  echo "deps: apt-get update failed; trying once more" >&2
  sleep 3
  apt-get update -q && return 0
  echo "deps: apt-get update failed again; going on with the indexes that did download" >&2
}

