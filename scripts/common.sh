# Shared by the build, run and test scripts: configure and build both trees.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

build_native() {
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$root/build" -j "$jobs"
}

build_win32() {
  cmake -S "$root" -B "$root/build-win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
  cmake --build "$root/build-win32" -j "$jobs"
}

# The 64-bit build of the same sources (x86_64-w64-mingw32); the 32-bit one
# stays the main program.
build_win64() {
  cmake -S "$root" -B "$root/build-win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
  cmake --build "$root/build-win64" -j "$jobs"
}

# Whether 64-bit Wine is installed (Debian's wine64), to run the 64-bit tests.
have_wine64() { [ -x /usr/lib/wine/wine64 ]; }

# Whether this kernel runs 32-bit programs (Wine's 32-bit loader is one). Some
# kernels are built without that: there the 32-bit build is made but can only
# be run by a machine that has it, and the 64-bit build stands in.
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

# The Windows tree whose programs run here: the 32-bit one, the main program,
# where the kernel runs 32-bit programs, otherwise the 64-bit one.
runnable_windows_tree() {
  if runs_32bit; then echo "$root/build-win32"; else echo "$root/build-win64"; fi
}

# Wine's environment for the prefix $1, the one place it is set (the run
# script, ctest's wine-run.sh and every test script source this file): a
# 32-bit prefix (64-bit when OSTRABEL_WINEARCH is win64), Wine's own chatter
# off, Mono and Gecko never offered, and no desktop menu entries written into
# the real home folder.
wine_env() {
  export WINEPREFIX="$1" WINEARCH=${OSTRABEL_WINEARCH:-win32} WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
  export OSTRABEL_WINEPREFIX="$1"
  [ "$WINEARCH" = win64 ] && wine64_commands
  return 0
}

# Debian's wine and wineboot commands start the 32-bit loader whenever it is
# installed; a 64-bit prefix needs the 64-bit one. Commands of the same names
# that start it come first on the PATH.
wine64_commands() {
  local dir="$root/build-win64/wine64-bin" name
  mkdir -p "$dir"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
      >"$dir/$name"
    chmod +x "$dir/$name"
  done
  case ":$PATH:" in *":$dir:"*) ;; *) export PATH="$dir:$PATH" ;; esac
}

# The prefix scripts/run.sh starts the program in, made on first use and kept
# (settings and history survive). It must be made on the display the program
# then uses: a prefix whose first Wine process had no display cannot create
# windows later.
wine_run_prefix() {
  wine_env "$1"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    # Wine has no Arial, the heading's face, and the face it would take
    # instead is too wide for the heading's label; Wine's own Tahoma fits.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d Tahoma /f >/dev/null 2>&1 || true
  fi
  wine_own_fonts
}

# Wine's own fonts (Debian's fonts-wine: Courier for the result box, Marlett
# for the title-bar buttons, Tahoma for the dialogs) lie in
# /usr/share/wine/fonts, where Debian's Wine 8 does not look for them: without
# them the result box falls back to a proportional serif face (ragged
# columns) and the title-bar buttons show as the letters "0 1 r". Linked into
# the prefix's Fonts folder, they are loaded.
wine_own_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" font
  [ -d "$fonts" ] || return 0
  for font in /usr/share/wine/fonts/*; do
    [ -e "$font" ] && [ ! -e "$fonts/${font##*/}" ] && ln -s "$font" "$fonts/"
  done
  return 0
}

# A private Wine prefix, made afresh: no registry state survives from an
# earlier run. wineserver stays up for the whole run (wine_stop ends it).
wine_fresh_prefix() {
  wine_env "$1"
  [ -d "$WINEPREFIX" ] && wine_stop
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  # Without a window manager, hiding a managed window waits 2 s for one.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true
}
wine_stop() { wineserver -k >/dev/null 2>&1 || true; }

# A native tree built with sanitizers (the list goes to -fsanitize=), without
# the benchmarks.
build_sanitized() {
  local dir=$1 list=$2
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTRABEL_BENCH=OFF \
    -DOSTRABEL_SANITIZE="$list" >/dev/null
  cmake --build "$dir" -j "$jobs"
}
