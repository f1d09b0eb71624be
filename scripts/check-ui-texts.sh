#!/usr/bin/env bash
# Keeps the user-interface texts translatable:
#  1. Qt's lupdate extracts the marked texts of every module into a throwaway
#     .ts file (no translation files ship); it must run cleanly and find them.
#  2. No file in Vessa/Views hands a plain string literal to a setter or
#     constructor whose text the user sees: such texts go through tr().
#  3. No error's description() (an error of any module may reach an alert)
#     returns a plain string literal: its sentences go through tr() too.
#  4. No error is handed a plain string literal with words as its detail or
#     reason: neither in the call that makes the error nor through what that
#     call's arguments come from (a variable set in the same function or file,
#     a parameter whose callers in the file pass it, a function of the module
#     that returns a text, what a lambda returns however it is called). Calls
#     that only convert or format a text hand it on (QStringLiteral,
#     QString::asprintf, QString::fromStdString, std::string, std::invoke,
#     arg() ...). A sentence the program writes itself is a case of the error
#     or goes through tr() in the error's own translation context.
#  5. The same holds for what goes into a table or list of problems, which the
#     sidebar's tooltips and the notices show: a folder's reason to be
#     unavailable (`problems.insert(folder, ...)`, `...Problems[key] = ...`).
# What it cannot follow: a text more than two steps from the error or the
# problem; a variable or parameter of another file, or a member set in another
# function; a function of another module, or one whose return type is not on
# the line of its name; a text kept in a container, made by a macro or handed
# through a pointer to a function; a call it does not know as converting a text
# (a literal handed to any other call is taken for a key, a format or a name);
# literals without letters or that start with ":", "/" or "." (separators and
# paths); the texts of widgets anywhere but in Vessa/Views.
# Usage: scripts/check-ui-texts.sh [FILE...]   (files: check only steps 2 to 5 on them)
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
import glob
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


def closing(text, start, stops=""):
    # The index of the bracket that closes around text[start], or of a
    # character of `stops` before it outside brackets; past literals.
    depth, i = 0, start
    while i < len(text):
        match = STRING.match(text, i)
        if match:
            i = match.end()
            continue
        if text[i] in "([{":
            depth += 1
        elif text[i] in ")]}":
            if depth == 0:
                return i
            depth -= 1
        elif depth == 0 and text[i] in stops:
            return i
        i += 1
    return i


def block_end(text, start):
    # The index just past the "}" closing the block whose "{" is at text[start - 1].
    return closing(text, start) + 1


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

# The errors made with a text: a call of an error's constructor or factory
# ("X(", "X{", "X::factory("), unless its arguments declare parameters (a
# declaration or definition).
MADE = re.compile(r"\b(" + "|".join(sorted(errors)) + r")\b(?:\s*::\s*(\w+))?\s*[({]")
PARAMETER = re.compile(r"^(?:const\s+)?[\w:]+(?:<.*>)?[\s&*]+\w+(?:\s*=.*)?$", re.S)
NAME = re.compile(r"\b([A-Za-z_]\w*)\b(\s*\()?")
CONTEXT = re.compile(r'\btranslate\s*\(\s*"(\w+)"')
# Calls that hand their string argument on as (part of) their value.
WRAPPERS = set("QStringLiteral QLatin1String QLatin1StringView QString QStringView QAnyStringView QUtf8StringView "
               "QByteArray QByteArrayLiteral QByteArrayView fromUtf8 fromLatin1 fromLocal8Bit fromUtf16 fromUcs4 "
               "fromWCharArray fromStdString fromStdWString fromStdU16String fromStdU32String asprintf vasprintf "
               "string basic_string string_view invoke value_or arg".split())
# A lambda: its captures, parameters and specifiers, up to the "{" of its body.
LAMBDA = re.compile(r"\[[^\[\]]*\]\s*(?:\((?:[^()]|\([^()]*\))*\)\s*)?(?:(?:mutable|constexpr|noexcept)\s*)*"
                    r"(?:->\s*[\w:<>,\s*&]+?\s*)?\{")
RETURN = re.compile(r"\breturn\b")
KEYWORDS = set("const return throw true false nullptr auto static_cast std QString QStringLiteral QLatin1String "
               "sizeof new".split())
# How many steps back from the error a text is followed.
STEPS = 2
texts = {path: read(path) for path in set(sources) | set(headers)}
for module in sorted({header.split("/", 1)[0] for header in headers}):
    for path in sorted(glob.glob(f"{module}/**/*.cpp", recursive=True)):
        texts.setdefault(path, read(path))


def module_of(path):
    return path.split("/", 1)[0]


def blanked(text, start, end, pattern=TRANSLATED):
    # text[start:end] with what the calls `pattern` finds are handed blanked out.
    part = list(text[start:end])
    for marked in pattern.finditer(text, start, end):
        close = min(call(text, marked.end())[1] - 1, end)
        part[marked.end() - start:close - start] = " " * max(close - marked.end(), 0)
    return "".join(part)


def function_bodies(text):
    # (name, parameters, position, body start, body end) of every function
    # defined in the text: a name and "(...)" followed, after qualifiers, by "{".
    found = []
    for opening in re.finditer(r"\b(\w+)\s*\(", text):
        name = opening.group(1)
        if name in ("if", "for", "while", "switch", "catch", "return", "sizeof", "decltype", "throw"):
            continue
        parameters, after = call(text, opening.end())
        tail = re.match(r"\s*(?:const\s*)?(?:noexcept\s*)?(?:override\s*)?(?:->\s*[\w:<>]+\s*)?\{", text[after:])
        if tail:
            start = after + tail.end()
            found.append((name, parameters, opening.start(), start, block_end(text, start)))
    return found


bodies_of = {path: function_bodies(text) for path, text in texts.items()}
# Functions that give a text, by module and name.
returns_of = {}
for path, found in bodies_of.items():
    for name, parameters, head, start, end in found:
        if "QString" in texts[path][texts[path].rfind("\n", 0, head) + 1:head]:
            returns_of.setdefault((module_of(path), name), []).append((path, start, end))


def enclosing(path, position):
    # The outermost function body around the position.
    best = None
    for found in bodies_of[path]:
        if found[3] <= position < found[4] and (best is None or found[3] < best[3]):
            best = found
    return best


def argument_spans(text, start):
    # (start, end) of each top-level argument of the call whose "(" is at
    # text[start - 1].
    spans, close = [], call(text, start)[1] - 1
    depth, begin, i = 0, start, start
    while i < close:
        match = STRING.match(text, i)
        if match:
            i = match.end()
            continue
        if text[i] in "([{":
            depth += 1
        elif text[i] in ")]}":
            depth -= 1
        elif text[i] == "," and depth == 0:
            spans.append((begin, i))
            begin = i + 1
        i += 1
    return spans + [(begin, close)] if text[start:close].strip() else spans


def statement_end(text, start):
    # The index of the ";" that ends the statement going on at `start`, or of
    # the bracket that closes around it.
    return closing(text, start, ";")


def without_literals(text):
    # The text with what its literals hold blanked, of the same length.
    return STRING.sub(lambda literal: literal.group(0)[0] + " " * (len(literal.group(0)) - 2) + literal.group(0)[-1],
                      text)


def returned(text, start, end):
    # (start, end) of what each return statement in text[start:end] returns.
    for statement in RETURN.finditer(without_literals(text[start:end])):
        begin = start + statement.end()
        yield begin, min(statement_end(text, begin), end)


def lambda_bodies(text, start, end):
    # (start, end) of the body of each outermost lambda in text[start:end].
    bodies = []
    for found in LAMBDA.finditer(without_literals(text[start:end])):
        begin = start + found.end()
        if not bodies or begin >= bodies[-1][1]:
            bodies.append((begin, min(block_end(text, begin), end)))
    return bodies


def handed_on(part, position):
    # Whether the literal at `position` of `part` is the value, or part of it,
    # rather than an argument some call consumes (a date format, a key ...).
    depth = 0
    for i in range(position - 1, -1, -1):
        if part[i] == ")":
            depth += 1
        elif part[i] == "(":
            if depth == 0:
                callee = re.search(r"(\w+)\s*$", part[:i])
                if not callee or callee.group(1) not in WRAPPERS:
                    return False
            else:
                depth -= 1
    return True


def words_in(path, start, end, why, seen, steps):
    # The plain literals with words that text[start:end] hands on, and those
    # of what its names come from: (path, line, why) each.
    text = texts[path]
    part = blanked(text, start, end)
    arguments_blanked = blanked(text, start, end, re.compile(r"\.\s*arg\s*\("))
    found = []
    # What a lambda returns is its value, however it is called (in place,
    # through std::invoke or held in a variable): its return statements are
    # followed instead of its body.
    for body_start, body_end in lambda_bodies(text, start, end):
        for begin, finish in returned(text, body_start, body_end):
            found += words_in(path, begin, finish, why or "returned by a lambda", seen, steps)
        hidden = " " * (body_end - body_start)
        part = part[:body_start - start] + hidden + part[body_end - start:]
        arguments_blanked = (arguments_blanked[:body_start - start] + hidden
                             + arguments_blanked[body_end - start:])
    for literal in WORDS.finditer(part):
        content = literal.group(0)[1:]
        if handed_on(part, literal.start()) and not re.match(r"[:/.]", content):
            found.append((path, text.count("\n", 0, start + literal.start()) + 1, why))
    if steps == 0:
        return found
    # What fills a placeholder is data (a path, a key); the names in it are
    # not followed.
    names = re.sub(STRING, '""', arguments_blanked)
    for name in NAME.finditer(names):
        word, is_call = name.group(1), bool(name.group(2))
        if word in KEYWORDS or re.search(r"(?:\.|->)\s*$", names[:name.start()]) or (path, word, start) in seen:
            continue
        seen.add((path, word, start))
        if is_call and (module_of(path), word) in returns_of:
            for where, body_start, body_end in returns_of[(module_of(path), word)]:
                for begin, finish in returned(texts[where], body_start, body_end):
                    found += words_in(where, begin, finish, f"returned by {word}()", seen, steps - 1)
            continue
        # Else a variable, or a callable one (a lambda) called.
        # A variable set in the same function, or outside any function.
        around = enclosing(path, start)
        for assignment in re.finditer(r"\b" + re.escape(word) + r"\s*=(?!=)", text):
            inside = enclosing(path, assignment.start())
            if inside is None or inside == around:
                found += words_in(path, assignment.end(), statement_end(text, assignment.end()), f"held in {word}",
                                  seen, steps - 1)
        # A parameter of the function around: what its callers in the file pass.
        if around is None:
            continue
        index = next((i for i, parameter in enumerate(around[1])
                      if re.search(r"\b" + re.escape(word) + r"\s*(?:=.*)?$", parameter, re.S)), None)
        if index is None:
            continue
        for caller in re.finditer(r"\b" + re.escape(around[0]) + r"\s*\(", text):
            spans = argument_spans(text, caller.end())
            if caller.start() != around[2] and index < len(spans):
                found += words_in(path, *spans[index], f"passed to {around[0]}() as {word}", seen, steps - 1)
    return found


reported = set()


def refuse_literals(path, start, end, receiver, advice):
    # Reports, once each, the plain literals with words that text[start:end]
    # hands on; gives how many.
    count = 0
    for where, line, why in words_in(path, start, end, "", set(), STEPS):
        if (where, line) not in reported:
            reported.add((where, line))
            how = f" ({why})" if why else ""
            print(f"{where}:{line}: {receiver} is handed a plain string literal{how}; {advice}")
            count += 1
    return count


for path in sources if errors else []:
    text = texts[path]
    for made in MADE.finditer(text):
        error = made.group(1)
        if made.group(2) == error:
            continue
        args, close = call(text, made.end())
        if not any(args) or any(PARAMETER.match(argument) for argument in args if argument):
            continue
        for context in CONTEXT.finditer(text, made.end(), close):
            if context.group(1) != error:
                line = text.count("\n", 0, context.start()) + 1
                print(f"{path}:{line}: a text handed to {error} is translated in the context "
                      f"\"{context.group(1)}\"; use \"{error}\"")
                failures += 1
        failures += refuse_literals(path, made.end(), close - 1, error,
                                    "make it a case of the error or mark the whole sentence with tr()")

# The problems of folders and settings: what goes into a table or list of
# them, which the sidebar's tooltips and the notices show.
PROBLEMS = re.compile(r"\b\w*[Pp]roblems\s*(?:\.\s*(?:insert|emplace|append|prepend|push_back|push_front)\s*\(|\[)")
for path in sources:
    text = texts[path]
    for sink in PROBLEMS.finditer(text):
        if sink.group(0).endswith("("):
            spans = argument_spans(text, sink.end())
            if not spans:
                continue
            begin, end = spans[-1]
        else:
            assigned = re.match(r"\s*=(?!=)", text[call(text, sink.end())[1]:])
            if not assigned:
                continue
            begin = call(text, sink.end())[1] + assigned.end()
            end = statement_end(text, begin)
        failures += refuse_literals(path, begin, end, "a problem", "mark the whole reason with tr()")

if failures:
    sys.exit(1)
EOF
