#!/usr/bin/env bash
# The man pages render without a warning, and each documents every option its
# program's --help names, so a new option cannot go undocumented.
# Usage: man_pages_test.sh SOURCE_DIR BIN_DIR
set -u
src=$1
bin=$2
failures=0

if command -v groff >/dev/null; then
    for page in "$src"/doc/man/*.1; do
        warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
        if [ -n "$warnings" ]; then
            echo "FAIL: $(basename "$page") does not render cleanly:"
            printf '%s\n' "$warnings" | sed 's/^/    /'
            failures=$((failures + 1))
        fi
    done
else
    echo "SKIP: groff is not installed; the pages are not rendered"
fi

for program in morv morv-train morv-eval; do
    page=$src/doc/man/$program.1
    if [ ! -x "$bin/$program" ]; then
        echo "SKIP: $program is not built"
        continue
    fi
    # The page's text with troff's escaped hyphens and font changes undone.
    text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$page")
    # The help may go to either stream and end with any status.
    options=$("$bin/$program" --help 2>&1 | grep -oE -- '--[a-z][a-z0-9-]*[a-z0-9]' | sort -u)
    if [ -z "$options" ]; then
        echo "FAIL: $program --help names no option"
        failures=$((failures + 1))
    fi
    for option in $options; do
        if ! grep -qe "$option\\b" <<<"$text"; then
            echo "FAIL: $program.1 does not document $option"
            failures=$((failures + 1))
        fi
    done
done

# The FILES sections name every file of the model directory the build trained.
for page in morv morv-train; do
    if [ ! -d "$bin/Morv/Data" ]; then
        echo "SKIP: no trained models in $bin/Morv"
        break
    fi
    files=$(sed -n '/^\.SH FILES/,/^\.SH /p' "$src/doc/man/$page.1" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g')
    for file in "$bin/Morv/Configure.xml" "$bin"/Morv/Data/*; do
        name=$(basename "$file")
        if ! grep -qF -- "$name" <<<"$files"; then
            echo "FAIL: the FILES section of $page.1 does not name $name"
            failures=$((failures + 1))
        fi
    done
done

[ $failures -eq 0 ] || exit 1
echo "man pages: ok"
