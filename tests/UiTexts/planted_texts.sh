#!/usr/bin/env bash
# Plants untranslated sentences into a copy of the sources, one at a time, and
# expects scripts/check-ui-texts.sh to refuse each with the message named;
# the copy as it is passes.
# Usage: planted_texts.sh SOURCE_DIR
set -euo pipefail
source_dir="$1"
copy="$(mktemp -d)"
trap 'rm -rf "$copy"' EXIT
mkdir -p "$copy/scripts"
cp "$source_dir/CMakeLists.txt" "$copy/"
cp "$source_dir/scripts/check-ui-texts.sh" "$copy/scripts/"
mapfile -t modules < <(sed -n '/^set(VESSA_MODULES$/,/^)$/{/^ /p}' "$source_dir/CMakeLists.txt" | tr -d ' ')
for module in "${modules[@]}"; do
    cp -r "$source_dir/$module" "$copy/"
done
cd "$copy"
failures=0

# plant NAME FILE OLD NEW EXPECTED
#   Replaces the one occurrence of the first text by the second in FILE, runs
#   the check on FILE and restores it. The check must fail and say EXPECTED.
plant() {
    local name="$1" file="$2" old="$3" new="$4" expected="$5"
    cp "$file" "$file.orig"
    OLD="$old" NEW="$new" python3 - "$file" <<'PY'
import os, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
assert text.count(os.environ["OLD"]) == 1, f"{path}: the text to replace is not there once"
open(path, "w", encoding="utf-8").write(text.replace(os.environ["OLD"], os.environ["NEW"]))
PY
    local output status=0
    output="$(scripts/check-ui-texts.sh "$file" 2>&1)" || status=$?
    mv "$file.orig" "$file"
    if [ "$status" -eq 0 ] || ! grep -qF -- "$expected" <<<"$output"; then
        echo "FAIL $name: expected the check to refuse it with \"$expected\"; it said:"
        echo "$output"
        failures=$((failures + 1))
    else
        echo "PASS $name"
    fi
}

feed=Vessa/App/Updates/AppcastFeed.cpp
plant "literal handed to a factory" "$feed" \
    'UpdateCheckError::notRss()' 'UpdateCheckError::malformedFeed(QStringLiteral("it is not an RSS feed."), 0)' \
    "UpdateCheckError is handed a plain string literal"
indexer=RaskoLocalFile/FileIndexer.cpp
plant "literal filling a translated sentence" "$indexer" \
    'QCoreApplication::translate("FileReadError", "Not a regular file")' \
    'QCoreApplication::translate("FileReadError", "Not a regular file: %1").arg(QStringLiteral("a socket"))' \
    "FileReadError is handed a plain string literal"
plant "another error's translation context" "$indexer" \
    'QCoreApplication::translate("FileReadError", "Not a regular file")' \
    'QCoreApplication::translate("AppState", "Not a regular file")' \
    "a text handed to FileReadError is translated in the context \"AppState\""
destination=RaskoLocalFile/LocalFolderDestination.cpp
plant "literal returned by a function" "$destination" \
    'return QCoreApplication::translate("LocalFolderDestinationError", "Invalid file name");' \
    'return QStringLiteral("Invalid file name");' \
    "LocalFolderDestinationError is handed a plain string literal (returned by invalidFileName())"
schema=RaskoLocalFile/MediaDatabaseSchema.cpp
plant "literal held in a variable" "$schema" \
    'QString::fromUtf8(message) : unknownSqliteReason();' 'QString::fromUtf8(message) : QStringLiteral("unknown");' \
    "(held in reason)"
container=RaskoCoreAudio/AudioContainer.cpp
plant "literal passed to a parameter" "$container" \
    'fail(QCoreApplication::translate("CoreAudioDecoderError", "No audio data"));' \
    'fail(QStringLiteral("No audio data"));' \
    "(passed to fail() as message)"

output="$(scripts/check-ui-texts.sh "$feed" "$indexer" "$destination" "$schema" "$container" 2>&1)" || {
    echo "FAIL the unchanged copy: $output"
    failures=$((failures + 1))
}
[ "$failures" -eq 0 ]
