#!/usr/bin/env bash
# Installs what building, running and testing Tavoren needs on Debian 12, and nothing when
# everything is there already. Runs apt-get as root, or through sudo for anyone else.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config   # the compiler and the build
    qt6-base-dev                       # Qt Widgets, Gui, Core, PrintSupport, Network and QtTest
    qt6-multimedia-dev                 # playing the interface sounds
    qt6-translations-l10n              # Qt's own buttons and file dialogs in Chinese
    libsqlcipher-dev                   # the password-protected address book file
    qtkeychain-qt6-dev                 # server passwords kept in the desktop's keyring
    libssl-dev                         # sealing the password-recovery material (PBKDF2, AES-GCM)
    gnome-keyring dbus                 # a real keyring on a private session bus for the tests
    libicu-dev                         # text encodings of imported files, collation
    libbenchmark-dev                   # the speed benchmarks under bench/
    clang-format                       # the formatting check
    fonts-dejavu-core fonts-wqy-microhei  # the fonts the language files name (Latin, Chinese)
    xvfb xauth                         # running the real window headless
    poppler-utils                      # pdftotext, to read back printed lists in the tests
    dpkg-dev                           # dpkg-shlibdeps, with which cpack finds the package's dependencies
    desktop-file-utils appstream       # checking the installed desktop entry and metainfo
    radicale                           # a real CardDAV server the sync tests start
    xandikos                           # a second one, for a few of the sync tests
    davical php8.2-cli php8.2-cgi postgresql  # a third (DAViCal on PHP's own web server, over PostgreSQL)
    openssl                            # the self-signed certificate of the sync tests' HTTPS server
    lintian                            # checking the Debian package for errors and warnings
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
else
    as_root=(sudo)
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
