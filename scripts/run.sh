#!/usr/bin/env bash
# Builds Ostrel, installs the VST3 and LV2 into the user's plug-in folders and starts the Standalone, when there is a
# desktop session to show it in.
set -euo pipefail
cd "$(dirname "$0")/.."

# Whether the X display that DISPLAY names answers. The Standalone's window goes through X11 (also in a Wayland
# session, through XWayland), and without a display it crashes as it starts. xdpyinfo asks the server itself when it
# is installed; otherwise a local display must have its socket and one over the network must accept a connection.
x_display_reachable() {
    local display="${DISPLAY:-}"
    [ -n "$display" ] || return 1

    if command -v xdpyinfo > /dev/null 2>&1; then
        xdpyinfo > /dev/null 2>&1
        return
    fi

    local host="${display%:*}" number="${display##*:}"
    number="${number%%.*}"
    case "$number" in
        "" | *[!0-9]*) return 1 ;;
    esac

    if [ -z "$host" ] || [ "$host" = unix ]; then
        [ -S "/tmp/.X11-unix/X$number" ]
    else
        # shellcheck disable=SC2016 # the inner shell expands its own arguments
        timeout 5 bash -c 'exec 3<> "/dev/tcp/$0/$1"' "$host" "$((6000 + number))" 2> /dev/null
    fi
}

scripts/install-deps.sh
scripts/configure-release.sh > /dev/null
cmake --build build --target Ostrel_VST3 Ostrel_LV2 Ostrel_Standalone -j "$(nproc)"

artefacts=build/Ostrel_artefacts/Release
mkdir -p "$HOME/.vst3" "$HOME/.lv2"
rm -rf "$HOME/.vst3/Ostrel.vst3" "$HOME/.lv2/Ostrel.lv2"
cp -r "$artefacts/VST3/Ostrel.vst3" "$HOME/.vst3/"
cp -r "$artefacts/LV2/Ostrel.lv2" "$HOME/.lv2/"
echo "Installed Ostrel.vst3 into $HOME/.vst3 and Ostrel.lv2 into $HOME/.lv2"

if ! x_display_reachable; then
    if [ -z "${DISPLAY:-}" ]; then
        reason="DISPLAY is not set"
    else
        reason="the display $DISPLAY cannot be reached"
    fi
    echo "The Standalone was not started: it needs a desktop session ($reason)."
    echo "Start it from one with: $PWD/$artefacts/Standalone/Ostrel"
    exit 0
fi

exec "$artefacts/Standalone/Ostrel"
