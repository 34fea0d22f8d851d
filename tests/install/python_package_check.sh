#!/usr/bin/env bash
# Checks a Python package installed from the checkout with pip (the README's
# commands, which the documentation test runs first): it works from any
# directory with the models inside it, carries the models' notices and both
# sets of terms in its metadata, and the install left the build tree and the
# sources without setuptools' working files.
# Usage: python_package_check.sh VENV   (in the checkout, whose build/ was used)
set -u
venv=$1
python=$(cd "$venv" && pwd)/bin/python
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Nothing of the checkout's may be what is imported.
site=$(cd / && env -u PYTHONPATH -u MORV_HOME "$python" - <<'EOF'
import os, sys
import morv
here = os.path.dirname(morv.__file__)
assert here.startswith(sys.prefix), "morv imported from %s, not from %s" % (here, sys.prefix)
assert morv.model_dir() == os.path.join(here, "models"), morv.model_dir()
assert morv.tag("他在北京工作。")[2] == ("北京", "ns"), morv.tag("他在北京工作。")
print(os.path.dirname(here))
EOF
) || fail "the installed package does not work on its own models"

if [ -n "$site" ]; then
    for notice in NOTICE.md DATA-NOTICE.md; do
        [ -f "$site/morv/models/$notice" ] || fail "the models come without $notice"
    done
    info=$(ls -d "$site"/morv-*.dist-info 2>/dev/null | head -n 1)
    for file in LICENSE NOTICE.md; do
        [ -f "$info/$file" ] || fail "the package's metadata lacks $file"
    done
    grep -q '^License: MIT (the code); the bundled models.*research and education only' "$info/METADATA" ||
        fail "the licence metadata does not state the models' terms"
    grep -q '^Classifier: License :: Free for non-commercial use' "$info/METADATA" ||
        fail "no classifier for the models' terms"
fi

for leftover in build/bdist.* build/lib.* build/temp.* python/*.egg-info *.egg-info; do
    [ -e "$leftover" ] && fail "the install left $leftover"
done

[ $failures -eq 0 ] || exit 1
echo "python package: ok"
