#!/usr/bin/env bash
# Checks that zovtools installs like any Unix tool, from a finished build directory (default: build):
# every manual page lints without a warning; `cmake --install` into a temporary prefix puts each program of
# cmake/programs.list into bin, its page into share/man/man1 and the README with every file it links or
# shows into share/doc/zovtools, and each installed program prints what the built one prints;
# `cpack -G DEB` makes zovtools_VERSION_ARCH.deb, which holds the same programs, pages and documents,
# depends on the libraries they link, and has the version that the GNU-style programs print with --version.
# The last line sums it up.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The files the README links or shows, by their paths in the source tree (links to other sites left out).
readme_links=()
while read -r link; do
  readme_links+=("$link")
done < <(grep -o '](\([^)#:]*\))' README.md | sed 's/^](//; s/)$//' | sort -u)

names=(); arguments=()
while read -r name args; do
  case $name in ''|'#'*) continue ;; esac
  names+=("$name"); arguments+=("$args")
done <cmake/programs.list

lint_pages() {
  local name report
  for name in "${names[@]}"; do
    report=$(mandoc -Tlint -W warning "$name/$name.1" 2>&1) && [ -z "$report" ] ||
      fail "mandoc -Tlint $name/$name.1: ${report:-exit status $?}"
  done
}

# Runs a program with the arguments that make it print its options; prints its output, with the path it
# was called by shortened to its name, and its exit status.
options_text() {  # program, arguments
  local output status
  output=$("$1" $2 2>&1); status=$?
  printf '%s\nexit status %s\n' "${output//"$1"/"${1##*/}"}" "$status"
}

# Checks the programs and pages under ROOT: each present, each program printing what the built one prints.
check_tree() {  # what, root, bin directory, man directory
  local what=$1 root=$2 i name expected
  for i in "${!names[@]}"; do
    name=${names[$i]}
    if [ ! -x "$root/$3/$name" ]; then fail "$what has no program $3/$name"; continue; fi
    cmp -s "$name/$name.1" "$root/$4/$name.1" || fail "$what has no page $4/$name.1 equal to $name/$name.1"
    expected=$(options_text "$build/$name" "${arguments[$i]}")
    [ "$(options_text "$root/$3/$name" "${arguments[$i]}")" = "$expected" ] ||
      fail "$what: $name ${arguments[$i]} does not print what $build/$name prints"
  done
  cmp -s README.md "$root/share/doc/zovtools/README.md" || fail "$what has no share/doc/zovtools/README.md"
  local link
  for link in "${readme_links[@]}"; do
    cmp -s "$link" "$root/share/doc/zovtools/$link" ||
      fail "$what has no share/doc/zovtools/$link, which the README links"
  done
}

check_install() {
  cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
    { fail "cmake --install (see below)"; cat "$work/install.log"; return; }
  check_tree "The installed tree" "$work/prefix" bin share/man/man1
}

check_package() {
  local version arch deb i depends
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  arch=$(dpkg --print-architecture)
  deb=zovtools_${version}_${arch}.deb
  rm -f "$build/$deb"
  (cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { fail "cpack -G DEB (see below)"; cat "$work/cpack.log"; }
  if [ ! -f "$build/$deb" ]; then fail "cpack made no $build/$deb"; return; fi
  dpkg-deb -x "$build/$deb" "$work/root" || { fail "dpkg-deb -x $deb"; return; }
  check_tree "$deb" "$work/root/usr" bin share/man/man1
  [ "$(dpkg-deb -f "$build/$deb" Version)" = "$version" ] || fail "$deb does not say version $version"
  depends=$(dpkg-deb -f "$build/$deb" Depends)
  [[ $depends == *libc6* ]] || fail "$deb depends on no shared library: '$depends'"
  for i in "${!names[@]}"; do
    [ "${arguments[$i]}" = --help ] || continue
    [[ $("$build/${names[$i]}" --version) == *" $version" ]] || fail "${names[$i]} --version does not say $version"
  done
  package="$deb"
}

package="no package"
lint_pages
check_install
check_package
if [ $failures -eq 0 ]; then
  echo "Install: ${#names[@]} programs and pages linted, installed and run, the README with the" \
    "${#readme_links[@]} files it links; $package holds them"
else
  echo "Install: FAILED ($failures checks)"
fi
[ $failures -eq 0 ]
