#!/bin/sh
# Installs, from Debian 12 packages, only what this machine is missing to build,
# run and test the client. Idempotent and quiet; safe to call before every build.
set -eu

PKGS="
build-essential cmake pkg-config ninja-build git
qtbase5-dev qtbase5-dev-tools qtdeclarative5-dev qtdeclarative5-dev-tools
qtquickcontrols2-5-dev libqt5svg5-dev qtmultimedia5-dev libqt5multimedia5-plugins
qtwebengine5-dev libqt5webchannel5-dev qttools5-dev qttools5-dev-tools
libqt5sql5-sqlite libqt5opengl5-dev
qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls2
qml-module-qtquick-controls qml-module-qtquick-layouts qml-module-qtquick-dialogs
qml-module-qtwebengine qml-module-qtwebchannel qml-module-qttest qml-module-qtmultimedia
qml-module-qtgraphicaleffects qml-module-qt-labs-platform qml-module-qtqml-models2
libavcodec-dev libavformat-dev libavutil-dev libavfilter-dev libswresample-dev libswscale-dev ffmpeg
libspdlog-dev libfmt-dev libquazip1-qt5-dev libhidapi-dev libunwind-dev libxcb1-dev
libsqlite3-dev sqlite3 libcpp-httplib-dev libssl-dev openssl
libgtest-dev libgmock-dev googletest libbenchmark-dev
xvfb xauth x11-utils gdb libgl1-mesa-dri mesa-utils-bin
pulseaudio pulseaudio-utils libpulse-dev libudev-dev libasound2-dev libxtst-dev qt5-image-formats-plugins fonts-wqy-microhei
"

missing=""
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
