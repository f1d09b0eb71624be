#!/usr/bin/env bash
# Keeps the user-interface texts translatable:
#  1. Qt's lupdate extracts the marked texts of every module into a throwaway
#     .ts file (no translation files ship); it must run cleanly and find them.
#  2. No file in Vessa/Views hands a plain string literal to a setter or
#     constructor whose text the user sees: such texts go through tr().
#  3. No error's description() (an error of any module may reach an alert)
#     returns a plain string literal: its sentences go through tr() too.
# Usage: scripts/check-ui-texts.sh [FILE...]   (files: check only steps 2 and 3 on them)
set -euo pipefail
cd "$(dirname "$0")/.."

# The product's modules, as the top-level CMakeLists.txt lists them.
mapfile -t modules < <(sed -n '/^set(VESSA_MODULES$/,/^)$/{/^ /p}' CMakeLists.txt | tr -d ' ')
[ "${#modules[@]}" -gt 0 ] || { echo "check-ui-texts: no modules found in CMakeLists.txt" >&2; exit 1; }

if [ $# -eq 0 ]; then
    LUPDATE="$(command -v lupdate || true)"
    [ -n "$LUPDATE" ] || LUPDATE=/usr/lib/qt6/bin/lupdate
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
    # Its parser stumbles on a few engine headers' template specialisations;
    # that note says nothing about the texts.
    if ! "$LUPDATE" -silent -I . -recursive "${modules[@]}" -extensions cpp,h -ts "$work/vessa.ts" 2>"$work/log"; then
        cat "$work/log" >&2
        echo "check-ui-texts: lupdate failed" >&2
        exit 1
    fi
    if grep -v 'Ignoring definition of undeclared qualified class' "$work/log" >&2; then
        echo "check-ui-texts: lupdate could not place every text (see above)" >&2
        exit 1
    fi
    count="$(grep -c '<message' "$work/vessa.ts" || true)"
    if [ "${count:-0}" -lt 200 ]; then
        echo "check-ui-texts: lupdate found only ${count:-0} texts" >&2
        exit 1
    fi
    echo "check-ui-texts: lupdate extracted $count texts"
    views=$(find Vessa/Views -name '*.cpp' -o -name '*.h' | sort)
    sources=$(find "${modules[@]}" -name '*.cpp' -o -name '*.h' | sort)
else
    views=$(printf '%s\n' "$@" | grep 'Vessa/Views/' || true)
    sources="$*"
fi

headers=$(find "${modules[@]}" -name '*.h' | sort)

# shellcheck disable=SC2086
python3 - $views -- $sources -- $headers <<'EOF'
import re
import sys

# Calls whose string arguments are shown to the user.
CALLS = (
    "setText setWindowTitle setToolTip setPlaceholderText setStatusTip setWhatsThis setTitle setIconText "
    "setInformativeText setDetailedText setLabelText setNameFilter setNameFilters "
    "addAction addMenu addToolBar addRow "
    "QAction QMenu QMessageBox QLabel QPushButton QCheckBox QRadioButton QGroupBox QFileDialog "
    "warning information critical question getExistingDirectory getOpenFileName getOpenFileNames getSaveFileName "
    "show"
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
    return call(text, start)[0]


def call(text, start):
    # The top-level arguments of the call whose "(" is at text[start - 1],
    # and the index just past its ")".
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
                return args, i + 1
            depth -= 1
        elif ch == "," and depth == 0:
            args.append("".join(current).strip())
            current = []
            i += 1
            continue
        current.append(ch)
        i += 1
    return args, i


def block_end(text, start):
    # The index just past the "}" closing the block whose "{" is at text[start - 1].
    depth, i = 0, start
    while i < len(text):
        match = STRING.match(text, i)
        if match:
            i = match.end()
            continue
        if text[i] == "{":
            depth += 1
        elif text[i] == "}":
            if depth == 0:
                return i + 1
            depth -= 1
        i += 1
    return i


def read(path):
    with open(path, encoding="utf-8") as source:
        return blank_comments(source.read())


# The files to check for texts handed to widgets, those to check for errors'
# descriptions, and the headers that declare the errors.
first = sys.argv.index("--")
second = sys.argv.index("--", first + 1)
views, sources, headers = sys.argv[1:first], sys.argv[first + 1:second], sys.argv[second + 1:]
failures = 0

for path in views:
    text = read(path)
    for found in CALL.finditer(text):
        for argument in arguments(text, found.end()):
            if LITERAL.match(argument):
                line = text.count("\n", 0, found.start()) + 1
                print(f"{path}:{line}: {found.group(1)}() gets a plain string literal; mark it with tr()")
                failures += 1
                break

# The errors: every class that derives from Error, and the bodies of their
# description(), in the class or out of it.
ERROR_CLASS = re.compile(r"\bclass\s+(\w+)\s*(?:final\s*)?:\s*public\s+(?:vessa::)?Error\s*\{")
errors = {found.group(1) for path in headers + sources for found in ERROR_CLASS.finditer(read(path))}
IN_CLASS = re.compile(r"\bdescription\s*\(\s*\)\s*const\s*(?:override\s*)?\{")
OUT_OF_CLASS = re.compile(r"\b(\w+)::description\s*\(\s*\)\s*const\s*\{")
TRANSLATED = re.compile(r"\b(?:tr|translate)\s*\(")
WORDS = re.compile(r'"(?:\\.|[^"\\\n])*[A-Za-z](?:\\.|[^"\\\n])*"')

for path in sources:
    text = read(path)
    bodies = [(found.end(), block_end(text, found.end())) for found in OUT_OF_CLASS.finditer(text)
              if found.group(1) in errors]
    for found in ERROR_CLASS.finditer(text):
        body = text[found.end():block_end(text, found.end())]
        bodies += [(found.end() + inner.end(), found.end() + block_end(body, inner.end()))
                   for inner in IN_CLASS.finditer(body)]
    for start, end in bodies:
        # The texts handed to tr() and translate() are blanked; what is left
        # holds no words.
        body = list(text[start:end])
        for marked in TRANSLATED.finditer(text, start, end):
            close = call(text, marked.end())[1]
            body[marked.end() - start:close - start] = " " * (close - marked.end())
        for literal in WORDS.finditer("".join(body)):
            line = text.count("\n", 0, start + literal.start()) + 1
            print(f"{path}:{line}: an error's description() returns a plain string literal; mark it with tr()")
            failures += 1
if failures:
    sys.exit(1)
EOF
