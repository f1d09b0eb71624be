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

# plant NAME FILE OLD NEW EXPECTED [CHECKED]
#   Replaces the one occurrence of the first text by the second in FILE, runs
#   the check on CHECKED (FILE unless given) and restores FILE. The check must
#   fail and say EXPECTED.
plant() {
    local name="$1" file="$2" old="$3" new="$4" expected="$5" checked="${6:-$2}"
    cp "$file" "$file.orig"
    OLD="$old" NEW="$new" python3 - "$file" <<'PY'
import os, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
assert text.count(os.environ["OLD"]) == 1, f"{path}: the text to replace is not there once"
open(path, "w", encoding="utf-8").write(text.replace(os.environ["OLD"], os.environ["NEW"]))
PY
    local output status=0
    output="$(scripts/check-ui-texts.sh "$checked" 2>&1)" || status=$?
    mv "$file.orig" "$file"
    if [ "$status" -eq 0 ] || ! grep -qF -- "$expected" <<<"$output"; then
        echo "FAIL $name: expected the check to refuse it with \"$expected\"; it said:"
        echo "$output"
        failures=$((failures + 1))
    else
        echo "PASS $name: $(grep -F -- "$expected" <<<"$output" | head -n 1)"
    fi
}

feed=Vessa/App/Updates/AppcastFeed.cpp
indexer=RaskoLocalFile/FileIndexer.cpp
destination=RaskoLocalFile/LocalFolderDestination.cpp
schema=RaskoLocalFile/MediaDatabaseSchema.cpp
container=RaskoCoreAudio/AudioContainer.cpp
worker=Vessa/App/Library/LibraryWorker.cpp
# The copy as it is passes.
output="$(scripts/check-ui-texts.sh "$feed" "$indexer" "$destination" "$schema" "$container" "$worker" 2>&1)" || {
    echo "FAIL the unchanged copy: $output"
    failures=$((failures + 1))
}

plant "literal handed to a factory" "$feed" \
    'UpdateCheckError::notRss()' 'UpdateCheckError::malformedFeed(QStringLiteral("it is not an RSS feed."), 0)' \
    "UpdateCheckError is handed a plain string literal"
plant "literal filling a translated sentence" "$indexer" \
    'QCoreApplication::translate("FileReadError", "Not a regular file")' \
    'QCoreApplication::translate("FileReadError", "Not a regular file: %1").arg(QStringLiteral("a socket"))' \
    "FileReadError is handed a plain string literal"
plant "another error's translation context" "$indexer" \
    'QCoreApplication::translate("FileReadError", "Not a regular file")' \
    'QCoreApplication::translate("AppState", "Not a regular file")' \
    "a text handed to FileReadError is translated in the context \"AppState\""
plant "literal returned by a function" "$destination" \
    'return QCoreApplication::translate("LocalFolderDestinationError", "Invalid file name");' \
    'return QStringLiteral("Invalid file name");' \
    "LocalFolderDestinationError is handed a plain string literal (returned by invalidFileName())"
plant "literal held in a variable" "$schema" \
    'QString::fromUtf8(message) : unknownSqliteReason();' 'QString::fromUtf8(message) : QStringLiteral("unknown");' \
    "(held in reason)"
plant "literal passed to a parameter" "$container" \
    'fail(QCoreApplication::translate("CoreAudioDecoderError", "No audio data"));' \
    'fail(QStringLiteral("No audio data"));' \
    "(passed to fail() as message)"
plant "printf-style text handed to an error" "$container" \
    'openFailed(m_name, message)' 'openFailed(m_name, QString::asprintf("No audio data in %d packets", 0))' \
    "CoreAudioDecoderError is handed a plain string literal;"
plant "standard string handed to an error" "$container" \
    'openFailed(m_name, message)' 'openFailed(m_name, QString::fromStdString(std::string("No audio data")))' \
    "CoreAudioDecoderError is handed a plain string literal;"
plant "literal returned by a lambda" "$container" \
    'openFailed(m_name, message)' \
    'openFailed(m_name, std::invoke([] { return QStringLiteral("No audio data"); }))' \
    "CoreAudioDecoderError is handed a plain string literal (returned by a lambda)"
plant "literal returned by a lambda held in a variable" "$container" \
    'fail(QCoreApplication::translate("CoreAudioDecoderError", "No audio data"));' \
    'const auto text = [] { return QStringLiteral("No audio data"); }; fail(text());' \
    "CoreAudioDecoderError is handed a plain string literal (held in text)"
plant "literal handed to a folder's problem" "$worker" \
    'QCoreApplication::translate("PathProblem", "nothing is mounted on it")' \
    'QStringLiteral("nothing is mounted on it")' \
    "a problem is handed a plain string literal; mark the whole reason"
plant "literal returned as a folder's problem" Vessa/App/System/PathProblem.cpp \
    'return Text::tr("it is a file, not a folder");' 'return QStringLiteral("it is a file, not a folder");' \
    "a problem is handed a plain string literal (returned by ofFolderToRead())" "$worker"

[ "$failures" -eq 0 ]
