#!/usr/bin/env bash
# Keeps the user-interface texts translatable:
#  1. Qt's lupdate extracts the marked texts of the app layer into a throwaway
#     .ts file (no translation files ship); it must run cleanly and find them.
#  2. No file in Vessa/Views hands a plain string literal to a setter or
#     constructor whose text the user sees: such texts go through tr().
# Usage: scripts/check-ui-texts.sh [FILE...]   (files: check only step 2 on them)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -eq 0 ]; then
    LUPDATE="$(command -v lupdate || true)"
    [ -n "$LUPDATE" ] || LUPDATE=/usr/lib/qt6/bin/lupdate
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
    # Its parser stumbles on a few engine headers' template specialisations;
    # that note says nothing about the texts.
    if ! "$LUPDATE" -silent -I . -recursive Vessa -extensions cpp,h -ts "$work/vessa.ts" 2>"$work/log"; then
        cat "$work/log" >&2
        echo "check-ui-texts: lupdate failed" >&2
        exit 1
    fi
    if grep -v 'Ignoring definition of undeclared qualified class' "$work/log" >&2; then
        echo "check-ui-texts: lupdate could not place every text (see above)" >&2
        exit 1
    fi
    count="$(grep -c '<message' "$work/vessa.ts" || true)"
    if [ "${count:-0}" -lt 100 ]; then
        echo "check-ui-texts: lupdate found only ${count:-0} texts" >&2
        exit 1
    fi
    echo "check-ui-texts: lupdate extracted $count texts"
    set -- $(find Vessa/Views -name '*.cpp' -o -name '*.h' | sort)
fi

python3 - "$@" <<'EOF'
import re
import sys

# Calls whose string arguments are shown to the user.
CALLS = (
    "setText setWindowTitle setToolTip setPlaceholderText setStatusTip setWhatsThis setTitle setIconText "
    "setInformativeText setDetailedText setLabelText setNameFilter setNameFilters "
    "addAction addMenu addToolBar addRow "
    "QAction QMenu QMessageBox QLabel QPushButton QCheckBox QRadioButton QGroupBox QFileDialog "
    "warning information critical question getExistingDirectory getOpenFileName getOpenFileNames getSaveFileName"
).split()
CALL = re.compile(r"\b(" + "|".join(CALLS) + r")\s*\(")
# An argument that starts with a non-empty literal (a braced list's first item too).
LITERAL = re.compile(r'^\{?\s*(?:QStringLiteral\(\s*|QLatin1String\(\s*|QString::fromUtf8\(\s*|QString::fromLatin1\(\s*)?'
                     r'(?:u8|u|L)?"(?!")')
STRING = re.compile(r'"(?:\\.|[^"\\\n])*"' + r"|'(?:\\.|[^'\\\n])*'")


def blank_comments(text):
    # Comments out, keeping line numbers and the literals (which may hold "//").
    out, pos = [], 0
    for match in re.finditer(r'"(?:\\.|[^"\\\n])*"' + r"|'(?:\\.|[^'\\\n])*'|//[^\n]*|/\*.*?\*/", text, re.S):
        out.append(text[pos:match.start()])
        token = match.group(0)
        out.append(token if token[0] in "\"'" else re.sub(r"[^\n]", " ", token))
        pos = match.end()
    out.append(text[pos:])
    return "".join(out)


def arguments(text, start):
    # The top-level arguments of the call whose "(" is at text[start - 1].
    depth, args, current, i = 0, [], [], start
    while i < len(text):
        match = STRING.match(text, i)
        if match:
            current.append(match.group(0))
            i = match.end()
            continue
        ch = text[i]
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            if depth == 0:
                args.append("".join(current).strip())
                return args
            depth -= 1
        elif ch == "," and depth == 0:
            args.append("".join(current).strip())
            current = []
            i += 1
            continue
        current.append(ch)
        i += 1
    return args


failures = 0
for path in sys.argv[1:]:
    with open(path, encoding="utf-8") as source:
        text = blank_comments(source.read())
    for call in CALL.finditer(text):
        for argument in arguments(text, call.end()):
            if LITERAL.match(argument):
                line = text.count("\n", 0, call.start()) + 1
                print(f"{path}:{line}: {call.group(1)}() gets a plain string literal; mark it with tr()")
                failures += 1
                break
if failures:
    sys.exit(1)
EOF
