#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Tikora needs.
# Idempotent: packages already present are skipped, and nothing is downloaded when
# everything is in place. Runs as root on Debian 12 (or through sudo when available).
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev            # libFuzzer targets and sanitizer runtimes
  # libraries
  libsqlite3-dev sqlite3
  libfmt-dev libsimpleini-dev
  libzip-dev zip unzip
  libsodium-dev
  libfcgi-dev spawn-fcgi
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  locales tzdata poppler-utils
  # running the web time clock
  lighttpd
  # browser tests (tests/e2e): Debian's Chromium, driven by playwright-core from npm
  chromium
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "install-deps: not root and no sudo; cannot install packages" >&2; exit 1; fi
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# Node.js and npm for the browser tests: any installed node with npm will do (a Node.js that
# bundles npm is not a Debian "npm" package), otherwise Debian's.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Locales used by the tests: a comma-decimal, day-first locale and a US locale.
need_locale_gen=0
for loc in "de_DE.UTF-8 UTF-8" "en_US.UTF-8 UTF-8"; do
  if ! grep -qx "$loc" /etc/locale.gen 2>/dev/null; then
    echo "$loc" | $SUDO tee -a /etc/locale.gen >/dev/null
    need_locale_gen=1
  fi
done
if ! locale -a 2>/dev/null | grep -qi '^de_DE.utf8$' || ! locale -a 2>/dev/null | grep -qi '^en_US.utf8$'; then
  need_locale_gen=1
fi
if [ "$need_locale_gen" -eq 1 ]; then
  $SUDO locale-gen >/dev/null
fi

# playwright-core for the browser tests, exactly as package-lock.json pins it. It never
# downloads a browser: the tests drive /usr/bin/chromium.
e2e_dir="$(cd "$(dirname "$0")/.." && pwd)/tests/e2e"
locked_version() {  # the version of playwright-core that the lock file, or node_modules, holds
  node -e 'try { const j = require(process.argv[1]); console.log(j.version ?? j.packages["node_modules/playwright-core"].version); } catch { console.log("none"); }' "$1"
}
if [ -f "$e2e_dir/package-lock.json" ] &&
   [ "$(locked_version "$e2e_dir/package-lock.json")" != \
     "$(locked_version "$e2e_dir/node_modules/playwright-core/package.json")" ]; then
  (cd "$e2e_dir" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
