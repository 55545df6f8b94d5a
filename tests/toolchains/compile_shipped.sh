#!/usr/bin/env bash
# Compiles every shipped source (core/ as core/sources.txt assigns it to a
# platform, and commands/) the way the compilers MATLAB's mex drives would:
#   - g++ and clang++ as C++14 (Xcode's clang, g++ on Linux, Visual Studio's
#     C++14 default), for the Linux and the generic POSIX code;
#   - the same with _GLIBCXX17_CONSTEXPR empty, which makes std::array behave
#     as in the libraries before GCC 7 (MATLAB's MinGW add-on: GCC 5.3, 6.3);
#   - mingw-w64 as C++14 with _WIN32_WINNT=0x0502, the add-on's default (XP),
#     for 32- and 64-bit Windows.
# A compiler that is not installed is reported and skipped. Exits 1 on any
# failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
failed=0 compiled=0

sources_for() { # PLATFORM
  awk -v p="$1" '!/^#/ {for (i = 2; i <= NF; i++) if ($i == p) print "core/" $1}' "$root/core/sources.txt"
  (cd "$root" && ls commands/*.cpp)
}

compile_all() { # NAME PLATFORM COMPILER FLAGS...
  local name=$1 platform=$2 compiler=$3
  shift 3
  if ! command -v "$compiler" >/dev/null; then
    echo "SKIP $name: $compiler not installed"
    return
  fi
  local source errors=0
  for source in $(sources_for "$platform"); do
    if ! out=$("$compiler" -std=c++14 -fsyntax-only -Wall -Wextra -Werror -I"$root/core" -I"$root/host/include" \
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

for platform in linux generic; do
  compile_all "g++ -std=c++14" $platform g++
  compile_all "clang++ -std=c++14" $platform clang++
  compile_all "g++ -std=c++14, pre-7 library" $platform g++ -D_GLIBCXX17_CONSTEXPR=
done
for cpu in i686 x86_64; do
  compile_all "$cpu mingw -std=c++14, Windows XP headers" windows "$cpu-w64-mingw32-g++" -D_WIN32_WINNT=0x0502
  compile_all "$cpu mingw -std=c++14, pre-7 library" windows "$cpu-w64-mingw32-g++" -D_WIN32_WINNT=0x0502 \
    -D_GLIBCXX17_CONSTEXPR=
done
echo "$compiled compiles"
exit $failed
