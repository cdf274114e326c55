#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking Mergix needs.
# Does nothing when they are all there already. Postfix is installed only for its smtp-sink
# and smtp-source benchmark tools; its mail service is not needed.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev libx11-dev fonts-liberation2
    libssl-dev openssl qtkeychain-qt6-dev qt6-networkauth-dev gnome-keyring dbus libsqlite3-dev
    libgtest-dev
    mdbtools-dev mdbtools
    libgmime-3.0-dev libopendkim-dev python3-dkim
    liborcus-dev libuchardet-dev libdeflate-dev zlib1g-dev libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-mysql libqt6sql6-odbc odbc-postgresql postgresql mariadb-server python3-openpyxl python3-odf xlsx2csv chromium
    python3 python3-aiosmtpd
    postfix
    xvfb xauth imagemagick poppler-utils time
    desktop-file-utils appstream lintian xz-utils
    dbus-x11 at-spi2-core python3-pyatspi
)

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
