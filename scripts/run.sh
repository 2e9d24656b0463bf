#!/usr/bin/env bash
# Builds Ostrel, installs the VST3 and LV2 into the user's plug-in folders and starts the Standalone.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/configure-release.sh > /dev/null
cmake --build build --target Ostrel_VST3 Ostrel_LV2 Ostrel_Standalone -j "$(nproc)"

artefacts=build/Ostrel_artefacts/Release
mkdir -p "$HOME/.vst3" "$HOME/.lv2"
rm -rf "$HOME/.vst3/Ostrel.vst3" "$HOME/.lv2/Ostrel.lv2"
cp -r "$artefacts/VST3/Ostrel.vst3" "$HOME/.vst3/"
cp -r "$artefacts/LV2/Ostrel.lv2" "$HOME/.lv2/"
echo "Installed Ostrel.vst3 into $HOME/.vst3 and Ostrel.lv2 into $HOME/.lv2"

exec "$artefacts/Standalone/Ostrel"
