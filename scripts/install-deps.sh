#!/usr/bin/env bash
# Installs what building, running and testing Tessary needs on a Debian
# machine. Safe to run again: it only calls apt-get or npm when something
# is missing or the lock file changed.
set -euo pipefail
cd "$(dirname "$0")/.."

APT_PACKAGES=(
  # page tests and preview; the program benchmark's reference tools
  # (vipsthumbnail, mogrify and convert)
  chromium xvfb xauth dbus-x11 x11-utils ffmpeg poppler-utils imagemagick libvips-tools
  # PDF checks (qpdf) and the PDF benchmark's reference writer (img2pdf)
  qpdf img2pdf
  # typing into the real file chooser in the end-to-end tests; `file` names saved files
  xdotool file
  fonts-noto-cjk fonts-ipaexfont
  # symbols no other font has (the album buttons ⏮ ⏭)
  fonts-symbola
  # asset generators
  python3 python3-fonttools python3-brotli python3-numpy python3-pil python3-scipy python3-skimage
  # native programs
  build-essential cmake pkg-config libgtest-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev webkit2gtk-driver libayatana-appindicator3-dev
  libheif-dev libheif-examples libturbojpeg0-dev nlohmann-json3-dev
  libfontconfig-dev zlib1g-dev dbus-daemon
  # the browser engine's sandbox around the page's web processes
  bubblewrap xdg-dbus-proxy
  # desktop wallpaper: X root window and monitors, and the desktops' settings
  # stores its tests run against (dconf, xfconfd, the background schemas)
  libx11-dev libxrandr-dev x11-utils libglib2.0-bin dconf-service dconf-gsettings-backend
  gsettings-desktop-schemas cinnamon-desktop-data mate-desktop-common xfconf
  # gdbus, the bus tool the README shows for driving the live wallpaper
  libglib2.0-bin
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav
  # H.264 High profile for recorded videos (x264enc): the browser's recorder
  # takes the type without it too, then writes a video without a frame
  gstreamer1.0-plugins-ugly
  # live wallpaper packages: other ZIP tools to test against, libFuzzer for the
  # reader, GNU time for the benchmark
  zip unzip libarchive-tools clang libclang-rt-14-dev time
  # the live wallpaper's desktop tests: window manager, compositor, a classic
  # desktop program with icons, a resizable nested X server for screen
  # changes, and xrandr
  openbox picom pcmanfm xserver-xephyr x11-xserver-utils
  # the live wallpaper's tests and benchmark: a stand-in for the desktop's
  # notification service, and X damage to count the frames shown
  python3-dbusmock libxdamage-dev
  # the install rules' test: desktop entries, the ".kiro" file type and its handler
  desktop-file-utils xdg-utils shared-mime-info libfile-mimeinfo-perl
)

missing=()
# Machines that already carry their own Node.js keep it; Debian's is the fallback.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then missing+=(nodejs npm); fi
for p in "${APT_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
  echo "Installing Debian packages: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

stamp=node_modules/.tessary-lock
if [ ! -f "$stamp" ] || ! cmp -s package-lock.json "$stamp"; then
  npm ci --no-audit --no-fund
  cp package-lock.json "$stamp"
fi
