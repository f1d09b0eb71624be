#!/usr/bin/env bash
# Keeps the layering of docs/CONVENTIONS.md true:
#  1. Modules: each folder with a CMakeLists.txt is a unit, in the order the
#     top-level CMakeLists.txt lists the modules (a module's own sub-folders,
#     such as Vessa/App and Vessa/Views, come before the module itself). A
#     unit links only units before it, and its files include only from
#     itself and from what it links, directly or through those. The views
#     (Vessa/Views and Vessa/main.cpp) reach the engine through the app
#     layer: of the modules below it they include only those whose types it
#     hands them (viewsReach), never the output, the plug-ins or the
#     library's storage.
#  2. Views: a folder of Vessa/Views includes from itself and from the
#     folders in earlier rows of the table under "Inside `Vessa/Views`" in
#     docs/CONVENTIONS.md; folders of one row never include each other.
#  3. VessaViewModels: its sources (VESSA_VIEW_MODEL_SOURCES) include no
#     QtWidgets header and no header of the widget library.
# Every include is judged by the file it opens, however it is spelled: in
# quotes or angle brackets, from the root, beside the including file or
# through "..", or as an absolute path. A file of the source tree outside the
# modules (the tests' support, a benchmark) is no module's to include.
# Not followed: an include whose name comes from a macro or is split over
# lines; an include the preprocessor leaves out (#if 0) still counts.
# Usage: scripts/check-includes.sh [SOURCE_ROOT]   (default: this checkout)
# shellcheck disable=SC2016 # the backquotes are Markdown's
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"

problems=0
fail() {
    echo "$1" >&2
    problems=$((problems + 1))
}

# ---- the units, in tier order
mapfile -t modules < <(sed -n '/^set(VESSA_MODULES$/,/^)$/{/^ /p}' CMakeLists.txt | tr -d ' ')
[ "${#modules[@]}" -gt 0 ] || { echo "check-includes: no modules found in CMakeLists.txt" >&2; exit 1; }
units=()
for module in "${modules[@]}"; do
    [ -f "$module/CMakeLists.txt" ] || continue
    for sub in $(sed -n 's/^add_subdirectory(\([^ )]*\))$/\1/p' "$module/CMakeLists.txt"); do
        [ -f "$module/$sub/CMakeLists.txt" ] && units+=("$module/$sub")
    done
    units+=("$module")
done

declare -A tier unitOfTarget allowed
for i in "${!units[@]}"; do
    tier[${units[$i]}]=$i
done

# The unit a path lies in (or names, for an include) into $REPLY: the
# longest unit that is a prefix of it; empty for none.
declare -A unitOfPath
unitOf() {
    local unit
    REPLY=""
    [ -n "$1" ] || return 0
    if [ -n "${unitOfPath[$1]+set}" ]; then
        REPLY="${unitOfPath[$1]}"
        return
    fi
    for unit in "${units[@]}"; do
        if [[ "$1" == "$unit/"* && ${#unit} -gt ${#REPLY} ]]; then
            REPLY="$unit"
        fi
    done
    unitOfPath[$1]="$REPLY"
}

# The arguments of every call of `command` in a CMakeLists.txt, one call a
# line, comments dropped.
calls() {
    sed 's/#.*//' "$2" | tr '\n' ' ' | grep -o "$1([^)]*)" | sed "s/^$1(//; s/)\$//" || true
}

for unit in "${units[@]}"; do
    while read -r target _; do
        [ -n "$target" ] && unitOfTarget[$target]="$unit"
    done < <(calls add_library "$unit/CMakeLists.txt"; calls add_executable "$unit/CMakeLists.txt")
done
for unit in "${units[@]}"; do
    linked=""
    while read -r _ libraries; do
        for library in $libraries; do
            other="${unitOfTarget[$library]:-}"
            [ -n "$other" ] && [ "$other" != "$unit" ] && linked+=" $other"
        done
    done < <(calls target_link_libraries "$unit/CMakeLists.txt")
    reach=" $unit "
    for other in $linked; do
        if [ "${tier[$other]}" -gt "${tier[$unit]}" ]; then
            fail "$unit/CMakeLists.txt: links $other, which comes after it"
        fi
        reach+="${allowed[$other]:-} "
    done
    allowed[$unit]="$reach"
done

# What the views include of the modules below the app layer.
viewsReach="VessaCore Rasko Oblin Parvik"
for unit in Vessa/Views Vessa; do
    [ -n "${allowed[$unit]:-}" ] || continue
    narrowed=" "
    for other in ${allowed[$unit]}; do
        if [[ "$other" == Vessa* && "$other" != VessaCore* ]] || [[ " $viewsReach " == *" $other "* ]]; then
            narrowed+="$other "
        fi
    done
    allowed[$unit]="$narrowed"
done

# ---- the views' folders and their rows
declare -A viewRow
row=0
while IFS= read -r line; do
    row=$((row + 1))
    for folder in $(echo "${line%%|*}" | grep -o '`[A-Za-z]*/`' | tr -d '`/'); do
        viewRow[$folder]=$row
    done
done < <(sed -n '/^### Inside `Vessa\/Views`/,/^## /p' docs/CONVENTIONS.md | sed -n 's/^| `/`/p')
[ "${#viewRow[@]}" -gt 0 ] || { echo "check-includes: no table of view folders in docs/CONVENTIONS.md" >&2; exit 1; }

# ---- the view-model sources and the QtWidgets headers
declare -A viewModel widgetHeader
for source in $(sed -n '/^set(VESSA_VIEW_MODEL_SOURCES$/,/^)$/p' Vessa/Views/CMakeLists.txt | grep -o '[A-Za-z/]*\.[ch]p*'); do
    viewModel["Vessa/Views/$source"]=1
done
widgetsDir="$(find /usr/include -maxdepth 3 -type d -name QtWidgets -path '*qt6*' 2>/dev/null | head -n 1)"
if [ -n "$widgetsDir" ]; then
    for header in "$widgetsDir"/*; do
        widgetHeader[${header##*/}]=1
    done
else
    echo "check-includes: no QtWidgets headers found; checking only the QtWidgets/ prefix" >&2
fi

# ---- where an include leads
# An include is judged by the file it opens, however it is spelled: the
# compiler looks for a quoted name beside the including file first, then, as
# for a name in angle brackets, in the include folders, of which the source
# root is one for every module. What is found under neither is a header from
# elsewhere (Qt, a C library, the system) or one the build generates, which is
# judged by the name as written from the root.
rootPath="$(pwd -P)"

# The absolute path $1 without empty, "." and ".." parts into $REPLY.
normalized() {
    if [[ "$1" != *//* && "$1" != *./* && "$1" != */. && "$1" != */.. ]]; then
        REPLY="$1"
        return
    fi
    local part
    local -a pieces parts=()
    IFS=/ read -ra pieces <<<"$1"
    for part in "${pieces[@]}"; do
        case "$part" in
        "" | .) ;;
        ..) [ "${#parts[@]}" -eq 0 ] || unset 'parts[-1]' ;;
        *) parts+=("$part") ;;
        esac
    done
    REPLY=""
    for part in "${parts[@]}"; do
        REPLY+="/$part"
    done
}

# What the include of $3 (spelled with the delimiter $2) in the file $1 opens
# into $REPLY: a path from the source root, and $resolved set to 1 when that
# file is in the source tree.
resolve() {
    local base
    local -a bases=("$rootPath")
    [ "$2" = '"' ] && bases=("$rootPath/${1%/*}" "$rootPath")
    resolved=""
    for base in "${bases[@]}"; do
        if [[ "$3" == /* ]]; then normalized "$3"; else normalized "$base/$3"; fi
        if [[ "$REPLY" == "$rootPath/"* && -f "$REPLY" ]]; then
            REPLY="${REPLY#"$rootPath/"}"
            resolved=1
            return
        fi
    done
    normalized "$rootPath/$3"
    if [[ "$REPLY" == "$rootPath/"* ]]; then REPLY="${REPLY#"$rootPath/"}"; else REPLY=""; fi
}

# ---- every include of every unit
while IFS= read -r hit; do
    file="${hit%%:*}"
    rest="${hit#*:}"
    line="${rest%%:*}"
    text="${rest#*:}"
    unitOf "$file"
    unit="$REPLY"
    [ -n "$unit" ] || continue
    [[ "$text" =~ \#[[:space:]]*include[[:space:]]*([\"\<])([^\"\>]+)[\"\>] ]] || continue
    opening="${BASH_REMATCH[1]}"
    spelled="${BASH_REMATCH[2]}"
    if [ "$opening" = '"' ]; then written="\"$spelled\""; else written="<$spelled>"; fi
    resolve "$file" "$opening" "$spelled"
    included="$REPLY"
    [ -z "$resolved" ] || [ "$included" = "$spelled" ] || written+=" ($included)"
    unitOf "$included"
    other="$REPLY"
    if [ -n "$other" ] && [[ "${allowed[$unit]}" != *" $other "* ]]; then
        if [ "$unit" = Vessa/Views ] || [ "$unit" = Vessa ]; then
            fail "$file:$line: includes $written: the views reach $other only through Vessa/App"
        else
            fail "$file:$line: includes $written: $unit does not link $other"
        fi
    elif [ -z "$other" ] && [ -n "$resolved" ]; then
        fail "$file:$line: includes $written, which belongs to no module"
    fi
    if [[ "$file" == Vessa/Views/*/* && "$included" == Vessa/Views/*/* ]]; then
        from="${file#Vessa/Views/}"
        from="${from%%/*}"
        to="${included#Vessa/Views/}"
        to="${to%%/*}"
        if [ -z "${viewRow[$from]:-}" ]; then
            fail "$file:$line: Vessa/Views/$from is not in the table of docs/CONVENTIONS.md"
        elif [ -z "${viewRow[$to]:-}" ]; then
            fail "$file:$line: includes $written: Vessa/Views/$to is not in the table of docs/CONVENTIONS.md"
        elif [ "$from" != "$to" ] && [ "${viewRow[$to]}" -ge "${viewRow[$from]}" ]; then
            fail "$file:$line: includes $written: $from/ may include only folders before it"
        fi
    fi
    if [ -n "${viewModel[$file]:-}" ]; then
        if [[ "$included" == Vessa/Views/* ]] && [ -z "${viewModel[$included]:-}" ]; then
            fail "$file:$line: includes $written: a view-model source includes no widget"
        elif [ -z "$resolved" ] && { [[ "$spelled" == *QtWidgets/* ]] || [ -n "${widgetHeader[$spelled]:-}" ]; }; then
            fail "$file:$line: includes $written: a view-model source includes no QtWidgets header"
        fi
    fi
done < <(find "${units[@]}" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.hh' -o -name '*.cpp' -o -name '*.cc' \
    -o -name '*.cxx' -o -name '*.c' -o -name '*.inc' -o -name '*.ipp' \) | sort -u |
    xargs grep -nE '^[[:space:]]*#[[:space:]]*include' /dev/null)

if [ "$problems" -gt 0 ]; then
    echo "check-includes: $problems include(s) break the layering of docs/CONVENTIONS.md" >&2
    exit 1
fi
echo "check-includes: ${#units[@]} units and ${#viewRow[@]} view folders keep their layering"
