#!/usr/bin/env bash
# Installs the Debian packages Mergix needs; does nothing when they are all there already.
#   install-deps.sh          everything: building, testing, benchmarking, packaging
#   install-deps.sh --run    only what building and running the program needs
# Postfix is installed only for its smtp-sink and smtp-source benchmark tools; its mail service
# is not needed.
set -euo pipefail

# Building and running the program.
packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev libx11-dev
    libssl-dev openssl qtkeychain-qt6-dev qt6-networkauth-dev libsqlite3-dev
    mdbtools-dev
    libgmime-3.0-dev libopendkim-dev
    liborcus-dev libuchardet-dev libdeflate-dev zlib1g-dev
    libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-mysql libqt6sql6-odbc
)
# The tests, the benchmarks, the screenshots and the package checks.
if [ "${1:-}" != "--run" ]; then
    packages+=(
        fonts-liberation2 gnome-keyring dbus
        libgtest-dev
        mdbtools
        python3-dkim
        odbc-postgresql postgresql mariadb-server python3-openpyxl python3-odf xlsx2csv chromium
        python3 python3-aiosmtpd
        postfix
        xvfb xauth imagemagick poppler-utils time
        desktop-file-utils appstream lintian xz-utils
        dbus-x11 at-spi2-core python3-pyatspi
    )
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Postfix without a mail service: only its benchmark tools are used.
echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
