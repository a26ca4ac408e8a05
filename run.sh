#!/usr/bin/env bash
# Builds Tikora, stages the installation in build/dist/ and serves the web time clock:
#
#   ./run.sh              lighttpd on http://127.0.0.1:8080/ running tikoraweb as CGI
#   ./run.sh --fastcgi    the same binary as FastCGI processes that lighttpd starts itself
#
# The first run creates a demo installation (tables, settings and demo logins) in
# build/dist/TIKData/ and keeps the logins it printed in build/run/demo-logins.txt; later runs
# keep the data. lighttpd runs in the foreground: Ctrl-C stops it. Its configuration and logs
# are in build/run/. BUILD_DIR (default build) and TIKORA_PORT (default 8080) change the
# build folder and the port.
set -euo pipefail
cd "$(dirname "$0")"

mode=()
case "${1:-}" in
  "") ;;
  --fastcgi) mode=(--fastcgi) ;;
  *) echo "usage: $0 [--fastcgi]" >&2; exit 2 ;;
esac
build=${BUILD_DIR:-build}
port=${TIKORA_PORT:-8080}
dist=$build/dist
rundir=$build/run

./scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
cmake --install "$build" --prefix "$dist" >/dev/null
echo "Staged the installation in $dist/"

mkdir -p "$rundir"
logins=$rundir/demo-logins.txt
if ! compgen -G "$dist/TIKData/*.[Dd][Aa][Tt]" >/dev/null; then
  if [ ! -x "$dist/tikoradmin" ]; then
    echo "run.sh: no tikoradmin in $dist (built without the GUI?): cannot create the demo data" >&2
  elif [[ $("$dist/tikoradmin" --help 2>&1 || true) == *--demo* ]]; then
    install -m 600 /dev/null "$logins"  # it holds passwords
    "$dist/tikoradmin" create-data --demo --program-folder "$dist" | tee "$logins"
  else
    "$dist/tikoradmin" create-data --program-folder "$dist"
    echo "(this tikoradmin creates no demo logins yet)" >"$logins"
  fi
fi

conf=$(./scripts/lighttpd-conf.sh "$port" "$dist" "$rundir" "${mode[@]}")
echo
echo "Tikora web time clock ($([ ${#mode[@]} -gt 0 ] && echo FastCGI || echo CGI)): http://127.0.0.1:$port/"
if [ -s "$logins" ]; then
  echo "Demo logins:"
  sed 's/^/  /' "$logins"
fi
echo "Logs in $rundir/; press Ctrl-C to stop."
exec lighttpd -D -f "$conf"
