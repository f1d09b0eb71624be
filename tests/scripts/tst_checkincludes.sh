#!/usr/bin/env bash
# scripts/check-includes.sh refuses each kind of break planted, one at a
# time, in a copy of the sources. Usage: tst_checkincludes.sh SOURCE_ROOT
set -euo pipefail
source="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mapfile -t modules < <(sed -n '/^set(VESSA_MODULES$/,/^)$/{/^ /p}' "$source/CMakeLists.txt" | tr -d ' ')
mkdir -p "$work/docs" "$work/scripts"
cp "$source/CMakeLists.txt" "$work/"
cp "$source/docs/CONVENTIONS.md" "$work/docs/"
cp "$source/scripts/check-includes.sh" "$work/scripts/"
for module in "${modules[@]}"; do
    cp -r "$source/$module" "$work/"
done
mkdir -p "$work/tests/support"
cp "$source/tests/support/LogCapture.h" "$work/tests/support/"

failures=0
# plant FILE LINE EXPECTED: with LINE added to FILE the check fails and says EXPECTED.
plant() {
    local file="$1" line="$2" expected="$3" output
    cp "$work/$file" "$work/$file.kept"
    printf '%s\n' "$line" >>"$work/$file"
    if output="$("$work/scripts/check-includes.sh" "$work" 2>&1)"; then
        echo "FAIL: $file with '$line' passed the check"
        failures=$((failures + 1))
    elif ! grep -qF -- "$expected" <<<"$output"; then
        printf 'FAIL: %s with %s: expected "%s" in\n%s\n' "$file" "$line" "$expected" "$output"
        failures=$((failures + 1))
    else
        echo "PASS: $file with '$line': $(grep -F -- "$expected" <<<"$output" | head -n 1)"
    fi
    mv "$work/$file.kept" "$work/$file"
}

plant VessaCore/TrackRef.h '#include "Oblin/PlayContext.h"' \
    'includes "Oblin/PlayContext.h": VessaCore does not link Oblin'
plant Vessa/App/AppState.cpp '#include "Vessa/Views/Theme/Icons.h"' \
    'includes "Vessa/Views/Theme/Icons.h": Vessa/App does not link Vessa/Views'
plant Vessa/Views/NowPlaying/NowPlayingView.cpp '#include "RaskoGME/GMEDecoderPlugin.h"' \
    'the views reach RaskoGME only through Vessa/App'
plant Vessa/Views/Theme/Icons.cpp '#include "Vessa/Views/Shared/ErrorAlert.h"' \
    'Theme/ may include only folders before it'
plant Vessa/Views/NowPlaying/NowPlayingView.cpp '#include "Vessa/Views/Settings/SettingsView.h"' \
    'NowPlaying/ may include only folders before it'
plant Vessa/Views/MainWindow/DetailState.cpp '#include <QLabel>' \
    'includes <QLabel>: a view-model source includes no QtWidgets header'
plant Vessa/Views/TrackLists/TrackListIndex.h '#include "Vessa/Views/Shared/ErrorAlert.h"' \
    'a view-model source includes no widget'
plant Rasko/CMakeLists.txt 'target_link_libraries(Rasko PUBLIC Oblin)' \
    'Rasko/CMakeLists.txt: links Oblin, which comes after it'
# However an include is spelled, the file it opens is judged.
plant VessaCore/TrackRef.h '#include <Oblin/PlayContext.h>' \
    'includes <Oblin/PlayContext.h>: VessaCore does not link Oblin'
plant VessaCore/TrackRef.h "#include \"$(cd "$work" && pwd -P)/Oblin/PlayContext.h\"" \
    '(Oblin/PlayContext.h): VessaCore does not link Oblin'
plant Vessa/Views/NowPlaying/NowPlayingView.cpp '#include <RaskoLocalFile/LibraryOrder.h>' \
    'includes <RaskoLocalFile/LibraryOrder.h>: the views reach RaskoLocalFile only through Vessa/App'
plant Vessa/Views/NowPlaying/NowPlayingView.cpp '#include "../../../RaskoGME/GMEDecoderPlugin.h"' \
    'includes "../../../RaskoGME/GMEDecoderPlugin.h" (RaskoGME/GMEDecoderPlugin.h): the views reach RaskoGME only'
plant Vessa/Views/Theme/Icons.cpp '#include "../Shared/ErrorAlert.h"' \
    'includes "../Shared/ErrorAlert.h" (Vessa/Views/Shared/ErrorAlert.h): Theme/ may include only folders before it'
plant Vessa/Views/TrackLists/TrackListIndex.h '#include "./../Shared//ErrorAlert.h"' \
    '(Vessa/Views/Shared/ErrorAlert.h): a view-model source includes no widget'
plant Vessa/Views/MainWindow/DetailState.cpp '#include "QtWidgets/QLabel"' \
    'includes "QtWidgets/QLabel": a view-model source includes no QtWidgets header'
plant Oblin/PlayContext.cpp '#include "../tests/support/LogCapture.h"' \
    '(tests/support/LogCapture.h), which belongs to no module'

# The copy as it is keeps its layering.
if ! output="$("$work/scripts/check-includes.sh" "$work" 2>&1)"; then
    printf 'FAIL: the unchanged copy:\n%s\n' "$output"
    failures=$((failures + 1))
fi

[ "$failures" -eq 0 ]
