# Shared by the Windows scripts (sourced, not run): where things are, and a timed step.
windowsDir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
projectDir=$(cd "$windowsDir/../.." && pwd)
cacheRoot=${XDG_CACHE_HOME:-$HOME/.cache}/sonalbury-cdmp3/windows
sourcesDir=$cacheRoot/sources
triplet=x86_64-w64-mingw32
# Two cores shared with others: never more than two jobs.
jobs=${SONALBURY_JOBS:-2}

die() {
  echo "ERREUR : $*" >&2
  exit 1
}

# step LOG NAME COMMAND...: runs COMMAND with its output in LOG, prints one line with the
# duration; on failure prints the end of LOG and stops the script.
step() {
  local log=$1 name=$2
  shift 2
  local start=$SECONDS
  mkdir -p "$(dirname "$log")"
  # In the background, not as an if condition: there `set -e` would not stop a failing
  # shell function half-way.
  "$@" >"$log" 2>&1 &
  if wait $!; then
    printf '  %-38s %4d s\n' "$name" $((SECONDS - start))
  else
    printf '  %-38s ÉCHEC après %d s (journal : %s)\n' "$name" $((SECONDS - start)) "$log"
    tail -n 40 "$log" >&2
    exit 1
  fi
}

# The folder of the compiler's runtime DLLs (libstdc++, libgcc_s) for posix threads.
gccRuntimeDir() {
  dirname "$("$triplet-g++-posix" -print-libgcc-file-name)"
}
