#!/usr/bin/env bash
# backports_source (scripts/apt-sources.sh) against sample apt folders: the
# one-line and the deb822 format, mirrors and caching proxies, entries it must
# pass over, and folders where it has nothing to take.
# Usage: backports_source_test.sh scripts/apt-sources.sh
set -uo pipefail
. "${1:?usage: $0 scripts/apt-sources.sh}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# A sample folder from "FILE<TAB>LINE" rows on standard input (FILE relative
# to the folder, LINE appended to it; an empty LINE is a blank line).
make_apt_dir() {
  local dir=$1 file line
  mkdir -p "$dir/sources.list.d"
  while IFS=$'\t' read -r file line; do printf '%s\n' "$line" >>"$dir/$file"; done
}

# name, codename, expected output ("FAIL" when the call must fail); the folder
# on standard input.
check() {
  local name=$1 codename=$2 expected=$3 dir="$work/$((passed + failed))" got status=0
  make_apt_dir "$dir"
  got=$(backports_source "$dir" "$codename") || status=$?
  [ "$status" -ne 0 ] && got=FAIL
  if [ "$got" = "$expected" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL: %s\n--- expected\n%s\n--- got\n%s\n' "$name" "$expected" "$got" >&2
  fi
}

deb_entry() {  # uri [signed-by]
  printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\n' "$1"
  [ -n "${2:-}" ] && printf 'Signed-By: %s\n' "$2"
  return 0
}

check "one-line, Debian's own server" bookworm "$(deb_entry http://deb.debian.org/debian)" <<'ROWS'
sources.list	deb http://deb.debian.org/debian bookworm main contrib
sources.list	deb http://deb.debian.org/debian-security bookworm-security main
sources.list	deb http://deb.debian.org/debian bookworm-updates main
ROWS

check "one-line behind a caching proxy, options in brackets" bookworm \
  "$(deb_entry http://apt-cache.internal:3142/deb.debian.org/debian /usr/share/keyrings/debian-archive-keyring.gpg)" <<'ROWS'
sources.list	# the office's cache
sources.list	deb-src http://apt-cache.internal:3142/deb.debian.org/debian bookworm main
sources.list	deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://apt-cache.internal:3142/deb.debian.org/debian bookworm main # comment
ROWS

check "deb822, as Debian's images have it" bookworm \
  "$(deb_entry http://deb.debian.org/debian /usr/share/keyrings/debian-archive-keyring.gpg)" <<'ROWS'
sources.list.d/debian.sources	Types: deb
sources.list.d/debian.sources	# http://snapshot.debian.org/archive/debian/20250520T000000Z
sources.list.d/debian.sources	URIs: http://deb.debian.org/debian
sources.list.d/debian.sources	Suites: bookworm bookworm-updates
sources.list.d/debian.sources	Components: main
sources.list.d/debian.sources	Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
sources.list.d/debian.sources	
sources.list.d/debian.sources	Types: deb
sources.list.d/debian.sources	URIs: http://deb.debian.org/debian-security
sources.list.d/debian.sources	Suites: bookworm-security
sources.list.d/debian.sources	Components: main
sources.list.d/debian.sources	Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
ROWS

check "deb822 through a proxy, a disabled entry first, the key embedded" trixie \
  "$(deb_entry http://10.0.0.2:3142/debian | sed 's/bookworm/trixie/'; printf 'Signed-By: -----BEGIN PGP PUBLIC KEY BLOCK-----\n .\n mQINBGPL\n -----END PGP PUBLIC KEY BLOCK-----\n')" <<'ROWS'
sources.list.d/a.sources	Types: deb
sources.list.d/a.sources	URIs: http://old-mirror.example/debian
sources.list.d/a.sources	Suites: trixie
sources.list.d/a.sources	Components: main
sources.list.d/a.sources	Enabled: no
sources.list.d/b.sources	types: deb deb-src
sources.list.d/b.sources	URIs: http://10.0.0.2:3142/debian
sources.list.d/b.sources	Suites: trixie trixie-updates
sources.list.d/b.sources	Components: main non-free-firmware
sources.list.d/b.sources	Signed-By: -----BEGIN PGP PUBLIC KEY BLOCK-----
sources.list.d/b.sources	 .
sources.list.d/b.sources	 mQINBGPL
sources.list.d/b.sources	 -----END PGP PUBLIC KEY BLOCK-----
ROWS

check "another vendor's suite of the same name listed first" bookworm "$(deb_entry http://ftp.jp.debian.org/debian/)" <<'ROWS'
sources.list.d/00-vendor.list	deb https://packages.vendor.example/apt bookworm main
sources.list.d/debian.list	deb http://ftp.jp.debian.org/debian/ bookworm main
ROWS

check "a mirror whose path is not /debian" bookworm "$(deb_entry http://mirror.example/pub/linux/deb)" <<'ROWS'
sources.list	deb http://mirror.example/pub/linux/deb-security bookworm-security main
sources.list	deb http://mirror.example/pub/linux/deb bookworm main
ROWS

check "backports already there: nothing to add" bookworm "" <<'ROWS'
sources.list.d/debian.sources	Types: deb
sources.list.d/debian.sources	URIs: http://deb.debian.org/debian
sources.list.d/debian.sources	Suites: bookworm
sources.list.d/debian.sources	Components: main
sources.list.d/bookworm-backports.list	deb http://deb.debian.org/debian bookworm-backports main
ROWS

check "only the security archive" bookworm FAIL <<'ROWS'
sources.list	deb http://deb.debian.org/debian-security bookworm-security main
ROWS

check "the suite without its main component" bookworm FAIL <<'ROWS'
sources.list	deb http://deb.debian.org/debian bookworm contrib non-free
ROWS

check "another release's sources" bookworm FAIL <<'ROWS'
sources.list	deb http://deb.debian.org/debian bullseye main
ROWS

check "no sources at all" bookworm FAIL </dev/null

echo "backports_source: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
