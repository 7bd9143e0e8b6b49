#!/usr/bin/env bash
# Checks what the docs name against what a test run left, where docs_commands
# can only read the sources: each ctest command picks at least one test of
# its tree; each test named in backticks (snake_case, or beside the word
# "test") is a test of some tree, or its shards (<name>_0...) are; each
# preset-like name (of a preset's family: windows..., e2e...) is a preset;
# each path under build/ is there, <placeholders> matched as globs. A path
# that only a failure or some runs leave, such as build/<preset>/e2e-failures/
# or build/wine32-left-out.txt, passes when its part that is there leads to
# it and each missing part is a placeholder or a name the code writes.
# Trees this host does not build are skipped, and named. Reads only.
#   tests/docs_facts.sh [doc.md...]   (default: README.md, tests/README.md, docs/*.md)
# Run after scripts/test.sh, from any folder; it takes a few seconds.
set -uo pipefail
shopt -s extglob
cd "$(dirname "$0")/.." || exit 1
[ $# -gt 0 ] || set -- README.md tests/README.md docs/*.md

faults=()
skipped=()
fault() { faults+=("$1"); }

# The docs' text, a command continued with \ joined into one line.
docs_text() {
    sed -e ':a' -e '/\\$/N; s/\\\n *//; ta' "$@"
}

# The names in backticks, without them.
quoted() {
    docs_text "$@" | grep -oE "\`[^\`]+\`" | tr -d "\`" | sort -u
}

mapfile -t presets < <(grep -oE '"name": *"[a-z0-9-]+"' CMakePresets.json | cut -d '"' -f 4 |
    sort -u)
# A preset's family: its name up to the first hyphen, without trailing digits.
families=" $(printf '%s\n' "${presets[@]%%-*}" | sed 's/[0-9]*$//' | sort -u | tr '\n' ' ')"

# Each test preset as "<name> <configure preset>": the name comes first in
# its object, and a filter's names are patterns, which this skips.
mapfile -t test_trees < <(sed -n '/"testPresets"/,$p' CMakePresets.json |
    grep -oE '"(name|configurePreset)": *"[a-z0-9-]+"' | cut -d '"' -f 2,4 | tr '"' ' ' |
    awk '$1 == "name" { name = $2 } $1 == "configurePreset" { print name, $2 }')

# Prints the tests that `ctest --preset P -N [args]` lists.
listed_tests() {
    ctest --preset "$@" -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: //p'
}

# Each configured test preset's tests, listed once (ctest on a tree never
# configured would make a folder for it).
declare -A listing
for entry in "${test_trees[@]}"; do
    [ ! -f "build/${entry#* }/CTestTestfile.cmake" ] ||
        listing[${entry% *}]=$(listed_tests "${entry% *}")
done
mapfile -t tests_listed < <(printf '%s\n' "${listing[@]}" | sort -u)

# Each ctest command with a preset, and its -R if any, once.
preset_option='--preset ([a-z0-9-]+)'
pattern_option="-R ('[^']*'|[^ ']+)"
while read -r command; do
    [[ $command =~ $preset_option ]] && preset=${BASH_REMATCH[1]}
    pattern=""
    [[ $command =~ $pattern_option ]] && pattern=${BASH_REMATCH[1]//\'/}
    if [[ " ${presets[*]} " != *" $preset "* ]]; then
        fault "no preset '$preset' for '$command'"
    elif [ -z "${listing[$preset]+set}" ]; then
        skipped+=("$preset")
    else
        picked=${listing[$preset]}
        [ -z "$pattern" ] || picked=$(listed_tests "$preset" -R "$pattern")
        [ -n "$picked" ] || fault "'$command' runs no test"
    fi
done < <(docs_text "$@" | grep -oE "ctest[^\`]* --preset [a-z0-9-]+( -R ('[^']*'|[^ \`']+))?" |
    sort -u)

# A test name, a glob of test names, or a program split into shards.
is_test() {
    local name
    for name in "${tests_listed[@]}"; do
        # shellcheck disable=SC2053 # the doc's name may be a glob
        [[ $name == $1 || ($1 != *"*"* && $name =~ ^$1_[0-9]+$) ]] && return 0
    done
    return 1
}
while read -r name; do
    is_test "$name" || fault "no tree lists a test '$name'"
done < <({
    quoted "$@" | grep -E '^[a-z0-9*]+_[a-z0-9_*]*$'
    docs_text "$@" | grep -oE "(tests? \`[a-z0-9_]+\`|\`[a-z0-9_]+\` tests?)" |
        grep -oE "\`.*\`" | tr -d "\`"
} | sort -u)

while read -r name; do
    family=${name%%-*}
    family=${family%"${family##*[!0-9]}"}
    if [[ $families == *" $family "* ]] && [[ " ${presets[*]} " != *" $name "* ]]; then
        fault "no preset '$name'"
    fi
done < <(quoted "$@" | grep -E '^[a-z][a-z0-9]*(-[a-z0-9]+)*$')

# True when the glob names something that is there (compgen -G would echo a
# path without wildcards, there or not).
is_there() {
    local matched
    # shellcheck disable=SC2206 # expanded on purpose
    matched=($1)
    [ -e "${matched[0]}" ]
}
# A missing part of a path: a placeholder, or a name that the code writes.
may_be_missing() {
    [[ $1 == *'<'* ]] || grep -rqwF --exclude='*.md' -- "$1" scripts tools tests cmake CMakeLists.txt
}
check_path() {
    local path=$1 tree part found=build missing=()
    tree=${path#build/}
    tree=${tree%%/*}
    if [[ " ${presets[*]} " == *" $tree "* ]] && [ ! -d "build/$tree" ]; then
        skipped+=("build/$tree")
        return
    fi
    is_there "${path//<*([!>])>/*}" && return
    IFS=/ read -r -a parts <<<"${path#build/}"
    for part in "${parts[@]}"; do
        if [ ${#missing[@]} -eq 0 ] && is_there "$found/${part//<*([!>])>/*}"; then
            found+=/$part
        else
            missing+=("$part")
        fi
    done
    for part in "${missing[@]}"; do
        may_be_missing "$part" || { fault "'$path' is not there (no '$part' in $found)"; return; }
    done
}
while read -r path; do
    check_path "${path%.}"
done < <(docs_text "$@" | grep -oE '(^|[ `(])build/[A-Za-z0-9_.<>/*-]*' | sed 's/^[ `(]//' |
    sort -u)

if [ ${#skipped[@]} -gt 0 ]; then
    echo "docs: not built on this host, so not checked: $(printf '%s\n' "${skipped[@]}" |
        sort -u | paste -sd ' ')"
fi
if [ ${#faults[@]} -gt 0 ]; then
    printf 'docs: %s\n' "${faults[@]}"
    exit 1
fi
echo "docs: every preset, test and build/ path that $* name is there"
