#!/usr/bin/env bash
# Holds the shipped sources (core/ as core/sources.txt assigns it to a
# platform, and commands/) to C++11, the newest language every compiler that
# MATLAB's mex has driven since R2015b accepts. Each source is compiled with
# -std=c++11 -pedantic-errors, which refuses every construct past C++11
# (relaxed constexpr, binary literals, generic lambdas, ...), and the
# standard library of C++11 alone, as libstdc++ hides later names at -std=c++11.
# Each run stands in for these compilers, in their language only:
#   - g++, Linux and generic POSIX code: g++ on Linux (4.8.1, the first with
#     all of C++11, and later);
#   - clang++, Linux and generic POSIX code: Xcode's clang. Its front end is
#     clang's; macOS's own system headers and libc++ are not seen here;
#   - i686 and x86_64 mingw-w64, Windows code, with _WIN32_WINNT=0x0502 (the
#     Windows XP headers, the add-on's default): MATLAB's MinGW-w64 add-on,
#     GCC 4.9.2 (R2015b to R2017a) and the later ones (GCC 5.3, 6.3, 8.1).
#     GCC 4.9's library lacks a few C++11 pieces (std::align,
#     std::is_trivially_copyable, <codecvt>, std::put_time), so the headers
#     shipped code may include are limited to those it has in full.
# Visual Studio (2015 and later) cannot run here: no run stands in for it;
# the C++11 floor is what keeps the code inside what it compiles.
# Before the sources, each compiler must refuse a C++14 construct with these
# flags, so a weakened flag fails this test instead of passing it. A compiler
# that is not installed is reported and skipped. Exits 1 on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
floor=(-std=c++11 -pedantic-errors -Wall -Wextra -Werror)
# Standard headers the shipped sources may include: C library headers and
# the C++11 ones GCC 4.9's library implements completely.
standard_headers='algorithm cerrno climits csignal cstddef cstdint cstdio cstdlib cstring ctime'
failed=0 compiled=0

sources_for() { # PLATFORM
  awk -v p="$1" '!/^[#-]/ {for (i = 2; i <= NF; i++) if ($i == p) print "core/" $1}' "$root/core/sources.txt"
  (cd "$root" && ls commands/*.cpp)
}

refuses_cxx14() { # COMPILER FLAGS...
  local compiler=$1
  shift
  # A multi-statement constexpr function: C++14, refused by GCC before 5.
  ! printf 'constexpr int twice(int x) { int y = x; return 2 * y; }\n' |
    "$compiler" "${floor[@]}" "$@" -fsyntax-only -x c++ - 2>/dev/null
}

compile_all() { # NAME PLATFORM COMPILER FLAGS...
  local name=$1 platform=$2 compiler=$3
  shift 3
  if ! command -v "$compiler" >/dev/null; then
    echo "SKIP $name: $compiler not installed"
    return
  fi
  if ! refuses_cxx14 "$compiler" "$@"; then
    echo "FAIL $name: accepts C++14 with these flags"
    failed=1
    return
  fi
  local source out errors=0
  for source in $(sources_for "$platform"); do
    if ! out=$("$compiler" "${floor[@]}" -fsyntax-only -I"$root/core" -I"$root/host/include" \
               "$@" "$root/$source" 2>&1); then
      echo "FAIL $name: $source"
      echo "$out" | head -n 20 | sed 's/^/    /'
      errors=$((errors + 1))
    fi
    compiled=$((compiled + 1))
  done
  ((errors == 0)) && echo "PASS $name ($platform)"
  ((errors == 0)) || failed=1
}

included=$(cd "$root" && grep -ho '^#include <[^>./]*>' core/*/* commands/* | sed 's/#include <\(.*\)>/\1/' | sort -u)
for header in $included; do
  if [[ " $standard_headers " != *" $header "* ]]; then
    echo "FAIL headers: <$header> is not known to be complete in GCC 4.9's library; check it, then add it to this script"
    failed=1
  fi
done

for platform in linux generic; do
  compile_all "g++ ${floor[*]:0:2}" $platform g++
  compile_all "clang++ ${floor[*]:0:2}" $platform clang++
done
for cpu in i686 x86_64; do
  compile_all "$cpu mingw-w64 ${floor[*]:0:2}, Windows XP headers" windows "$cpu-w64-mingw32-g++" -D_WIN32_WINNT=0x0502
done
echo "$compiled compiles"
exit $failed
