#!/usr/bin/env bash
# Browser end-to-end tests of the web time clock.
#
#   tests/e2e/run_e2e.sh [--fastcgi] [test files...]
#
# Installs the build tree ($BUILD_DIR, default build/) into a temporary program folder, creates
# demo data there with its tikoradmin, serves it with lighttpd on a free loopback port (as CGI,
# or FastCGI with --fastcgi) and runs the node test files (default: every *.test.mjs here) with
# node's own test runner against Debian's Chromium. Screenshots go to $TIKORA_E2E_OUTPUT
# (default $BUILD_DIR/e2e-output); lighttpd's logs are copied there too. lighttpd is always
# stopped and the temporary folder removed, whatever the outcome.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${BUILD_DIR:-build}
[[ $build = /* ]] || build=$root/$build
output=${TIKORA_E2E_OUTPUT:-$build/e2e-output}

mode=()
files=()
for arg in "$@"; do
  case "$arg" in
    --fastcgi) mode=(--fastcgi) ;;
    *) files+=("$(cd "$(dirname "$arg")" && pwd)/$(basename "$arg")") ;;
  esac
done
[ ${#files[@]} -gt 0 ] || files=("$here"/*.test.mjs)

fail() { echo "run_e2e: $*" >&2; exit 1; }
for tool in lighttpd node npm cmake; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
[ -x "${CHROMIUM:-/usr/bin/chromium}" ] || fail "no Chromium at ${CHROMIUM:-/usr/bin/chromium} (scripts/install-deps.sh installs it)"
[ -f "$build/CMakeCache.txt" ] || fail "no build tree in $build"
if [ ! -d "$here/node_modules/playwright-core" ]; then
  (cd "$here" && npm ci --no-audit --no-fund --loglevel=error) || fail "npm ci failed in $here"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tikora-e2e.XXXXXX")
lighttpd_pid=""
cleanup() {
  local status=$?
  if [ -n "$lighttpd_pid" ]; then
    kill "$lighttpd_pid" 2>/dev/null || true
    wait "$lighttpd_pid" 2>/dev/null || true
  fi
  mkdir -p "$output"
  cp "$work"/run/*.log "$output"/ 2>/dev/null || true
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

program=$work/program
cmake --install "$build" --prefix "$program" >/dev/null

if [ -x "$program/tikoradmin" ]; then
  if [[ $("$program/tikoradmin" --help 2>&1 || true) == *--demo* ]]; then
    "$program/tikoradmin" create-data --demo --program-folder "$program" >"$work/demo.txt" 2>&1 ||
      { cat "$work/demo.txt" >&2; fail "tikoradmin create-data --demo failed"; }
  else
    "$program/tikoradmin" create-data --program-folder "$program" >"$work/demo.txt" 2>&1 ||
      { cat "$work/demo.txt" >&2; fail "tikoradmin create-data failed"; }
  fi
else
  echo "run_e2e: no tikoradmin in this build (TIKORA_GUI=OFF): the program folder has no data" >&2
fi

port=$(node -e 'const s = require("net").createServer(); s.listen(0, "127.0.0.1", () => { console.log(s.address().port); s.close(); });')
conf=$("$root/scripts/lighttpd-conf.sh" "$port" "$program" "$work/run" "${mode[@]}")
lighttpd -D -f "$conf" &
lighttpd_pid=$!

# Wait until the server accepts connections (at most 10 s).
for _ in $(seq 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  kill -0 "$lighttpd_pid" 2>/dev/null || fail "lighttpd did not start: $(cat "$work/run/error.log" 2>/dev/null)"
  sleep 0.1
done

mkdir -p "$output"
echo "run_e2e: http://127.0.0.1:$port/ ($([ ${#mode[@]} -gt 0 ] && echo FastCGI || echo CGI)), screenshots in $output"
TIKORA_URL="http://127.0.0.1:$port" \
TIKORA_PROGRAM_FOLDER="$program" \
TIKORA_DEMO_LOGINS="$work/demo.txt" \
TIKORA_E2E_OUTPUT="$output" \
  node --test "${files[@]}"
