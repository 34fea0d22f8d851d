#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix elsewhere, makes
# the installed models read-only, and checks that what was installed still finds
# its library, its models and its headers there: the programs, a C program built
# with pkg-config, a C++ program built with find_package(Morv), and the Python
# package. Parts whose component was not built are skipped with a message.
#
# Usage: install_test.sh SOURCE_DIR BUILD_DIR CMAKE CC CXX
# Environment (set by CTest): MORV_SANITIZE, MORV_PYTHON, MORV_HAS_PYTHON,
# MORV_HAS_ZELK, MORV_INSTALL_{BINDIR,LIBDIR,INCLUDEDIR,DATADIR,MANDIR,PYTHONDIR}.
set -u
src=$1
build=$2
cmake=$3
cc=$4
cxx=$5
bindir=${MORV_INSTALL_BINDIR:-bin}
libdir=${MORV_INSTALL_LIBDIR:-lib}
includedir=${MORV_INSTALL_INCLUDEDIR:-include}
datadir=${MORV_INSTALL_DATADIR:-share}
mandir=${MORV_INSTALL_MANDIR:-share/man}
pythondir=${MORV_INSTALL_PYTHONDIR:-lib/python3/dist-packages}
python=${MORV_PYTHON:-/usr/bin/python3}

# Nothing of the caller's may point the programs at other models or libraries.
unset MORV_HOME LD_LIBRARY_PATH PYTHONPATH PKG_CONFIG_PATH CMAKE_PREFIX_PATH

work=$(mktemp -d "${TMPDIR:-/tmp}/morv-install-XXXXXX")
cleanup() {
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
skip() { echo "SKIP: $*"; }
# Runs a check: check DESCRIPTION COMMAND...; its output is shown when it fails.
check() {
    local what=$1
    shift
    local out
    if out=$("$@" 2>&1); then
        echo "ok: $what"
    else
        fail "$what"
        printf '%s\n' "$out" | sed 's/^/    /' | head -40
    fi
}

sanitize_flags=()
if [ "${MORV_SANITIZE:-OFF}" = "ON" ]; then
    # shellcheck disable=SC2054 # one flag, with a comma in it
    sanitize_flags=(-fsanitize=address,undefined)
fi

# --- Install ------------------------------------------------------------------
# Optional components go in only when they were built; when everything
# configured was built, the plain install (what users run) is the one tested.
first=$work/first
python_built=no
zelk_built=no
if [ "${MORV_HAS_PYTHON:-0}" = 1 ]; then
    if compgen -G "$build/python/morv/_morv*.so" >/dev/null; then
        python_built=yes
    else
        skip "the Python package was configured but not built"
    fi
else
    skip "the Python package is not part of this build (MORV_BUILD_PYTHON=OFF, or no pybind11)"
fi
if [ "${MORV_HAS_ZELK:-0}" = 1 ]; then
    if [ -x "$build/bin/zelk" ]; then
        zelk_built=yes
    else
        skip "Zelk was configured but not built"
    fi
else
    skip "Zelk is not part of this build (MORV_BUILD_APP=OFF, or no Qt 5 Widgets)"
fi
if { [ "${MORV_HAS_PYTHON:-0}" = 0 ] || [ $python_built = yes ]; } &&
    { [ "${MORV_HAS_ZELK:-0}" = 0 ] || [ $zelk_built = yes ]; }; then
    if ! "$cmake" --install "$build" --prefix "$first" >"$work/install.log" 2>&1; then
        cat "$work/install.log"
        echo "FAIL: cmake --install (build everything first)"
        exit 1
    fi
else
    components=(Runtime Development)
    [ $python_built = yes ] && components+=(Python)
    [ $zelk_built = yes ] && components+=(Zelk)
    for component in "${components[@]}"; do
        if ! "$cmake" --install "$build" --prefix "$first" --component "$component" >>"$work/install.log" 2>&1; then
            cat "$work/install.log"
            echo "FAIL: cmake --install --component $component (build it first)"
            exit 1
        fi
    done
fi

# --- Move the prefix; the models become read-only ------------------------------
mkdir -p "$work/elsewhere/deeper"
p=$work/elsewhere/deeper/prefix
mv "$first" "$p"
models=$p/$datadir/morv
mkdir -p "$work/cwd"
cd "$work/cwd" || exit 1 # an empty directory: no ./Morv to fall back on

for f in "$bindir/morv" "$bindir/morv-train" "$bindir/morv-eval" "$libdir/libmorv.so" "$libdir/libmorv.so.3" \
    "$includedir/morv/morv.h" "$includedir/morv/morv.hpp" "$includedir/morv/Engine.h" \
    "$libdir/pkgconfig/morv.pc" "$libdir/cmake/Morv/MorvConfig.cmake" \
    "$libdir/cmake/Morv/MorvConfigVersion.cmake" "$libdir/cmake/Morv/MorvTargets.cmake" \
    "$datadir/morv/Configure.xml" "$datadir/morv/Data/CoreDict.pdat" "$datadir/morv/train/charclasses.txt" \
    "$mandir/man1/morv.1" "$mandir/man1/morv-train.1" "$mandir/man1/morv-eval.1" \
    "$datadir/doc/morv/LICENSE" "$datadir/doc/morv/NOTICE.md"; do
    [ -e "$p/$f" ] || fail "not installed: $f"
done
[ -L "$p/$libdir/libmorv.so.3" ] || fail "$libdir/libmorv.so.3 is not the SONAME link"
# What the engine may leave in the build tree's model directory is not shipped.
stray=$(find "$models" \( -name '*.log' -o -name 'UserDict.*' -o -name '*.tmp-*' \) -print)
[ -z "$stray" ] || fail "stray files installed with the models: $stray"

# Installed text files must not point back at the build tree or the first prefix.
for f in "$p/$libdir/pkgconfig/morv.pc" "$p/$libdir"/cmake/Morv/*.cmake; do
    if grep -q -e "$build" -e "$first" "$f"; then
        fail "$(basename "$f") holds an absolute path of the build or of the first prefix"
    fi
done
for program in "$p/$bindir"/*; do
    [ -f "$program" ] || continue
    runpath=$(readelf -d "$program" 2>/dev/null | sed -n 's/.*(RUNPATH).*\[\(.*\)\].*/\1/p')
    # shellcheck disable=SC2016 # the literal $ORIGIN
    case "$runpath" in
    '$ORIGIN'*) ;;
    *) fail "$(basename "$program"): RUNPATH '$runpath' is not relative to \$ORIGIN" ;;
    esac
    lib=$(ldd "$program" | sed -n 's/.*libmorv\.so\.3 => \([^ ]*\).*/\1/p')
    case "$lib" in
    "$p"/*) ;;
    *) fail "$(basename "$program") loads libmorv from '$lib', not from the moved prefix" ;;
    esac
done

chmod -R a-w "$models"
# Root writes through a-w: a listing with sizes and times notices a write anyway.
listing() { find "$models" -printf '%P %y %s %T@\n' | sort; }
listing >"$work/models.before"

# --- The programs -----------------------------------------------------------
# 他在北京工作。
text=$'\xE4\xBB\x96\xE5\x9C\xA8\xE5\x8C\x97\xE4\xBA\xAC\xE5\xB7\xA5\xE4\xBD\x9C\xE3\x80\x82'
seg=$'\xE4\xBB\x96 \xE5\x9C\xA8 \xE5\x8C\x97\xE4\xBA\xAC \xE5\xB7\xA5\xE4\xBD\x9C \xE3\x80\x82'
beijing_ns=$'\xE5\x8C\x97\xE4\xBA\xAC/ns'
morv_seg() { [ "$(printf '%s\n' "$text" | "$p/$bindir/morv" --format seg)" = "$seg" ]; }
check "installed morv segments UTF-8 text with the installed models" morv_seg
morv_text() { printf '%s\n' "$text" | "$p/$bindir/morv" | grep -q "$beijing_ns"; }
check "installed morv tags it" morv_text
morv_version() { "$p/$bindir/morv" --version | grep -q '^morv [0-9]'; }
check "morv --version" morv_version
train_help() { "$p/$bindir/morv-train" --help 2>&1 | grep -q 'morv-train'; }
check "morv-train --help" train_help

# The installed trainer takes the sources installed with it: training works
# without --data, and a broken installed copy is what it reads.
train() {
    "$p/$bindir/morv-train" --quiet --allow-bad-lines "$src/tests/data/trainer-corpus.txt" "$work/trained" &&
        printf '%s\n' "$text" | "$p/$bindir/morv" --base "$work/trained" --format seg >/dev/null
}
check "installed morv-train trains without --data, and morv uses the result" train
mkdir -p "$work/fake/bin" "$work/fake/$datadir/morv/train"
cp "$p/$bindir/morv-train" "$work/fake/bin/"
ln -s "$p/$libdir" "$work/fake/$libdir"
cp "$p/$datadir/morv/train/"* "$work/fake/$datadir/morv/train/"
echo 'not a class table' >"$work/fake/$datadir/morv/train/charclasses.txt"
broken_sources() {
    ! "$work/fake/bin/morv-train" --quiet "$src/tests/data/trainer-corpus.txt" "$work/trained2" 2>"$work/fake.err" &&
        grep -q 'charclasses.txt' "$work/fake.err"
}
check "morv-train reads the sources installed beside it" broken_sources

# --- A C program through pkg-config ----------------------------------------------
export PKG_CONFIG_PATH=$p/$libdir/pkgconfig
cat >"$work/prog.c" <<'EOF'
#include <stdio.h>
#include <string.h>

#include <morv/Engine.h>
#include <morv/morv.h>

int main(void)
{
    morv_model* model = NULL;
    if (morv_model_open(NULL, &model) != MORV_OK) {
        fprintf(stderr, "%s\n", morv_last_error());
        return 1;
    }
    morv_analyzer* analyzer = NULL;
    if (morv_analyzer_new(model, &analyzer) != MORV_OK)
        return 1;
    const char* text = "\xE4\xBB\x96\xE5\x9C\xA8\xE5\x8C\x97\xE4\xBA\xAC\xE5\xB7\xA5\xE4\xBD\x9C";
    const morv_token* tokens = NULL;
    size_t count = 0;
    if (morv_analyze(analyzer, text, strlen(text), MORV_UTF8, &tokens, &count) != MORV_OK) {
        fprintf(stderr, "%s\n", morv_last_error());
        return 1;
    }
    printf("%s\n%s\n", morv_version(), morv_default_model_dir());
    for (size_t i = 0; i < count; ++i)
        printf("%.*s/%s ", (int)tokens[i].length, tokens[i].word, tokens[i].tag);
    printf("\n");
    morv_analyzer_free(analyzer);
    morv_model_free(model);
    return 0;
}
EOF
c_program() {
    # shellcheck disable=SC2046
    "$cc" "${sanitize_flags[@]}" -std=c11 -Wall -Wextra -Werror -o "$work/prog" "$work/prog.c" \
        $(pkg-config --cflags --libs morv) || return 1
    LD_LIBRARY_PATH=$p/$libdir "$work/prog" >"$work/prog.out" || return 1
    local lines
    mapfile -t lines <"$work/prog.out"
    [ "${lines[0]}" = "$(pkg-config --modversion morv)" ] ||
        { echo "morv_version() ${lines[0]} but morv.pc says $(pkg-config --modversion morv)"; return 1; }
    [ "$(cd "${lines[1]}" && pwd -P)" = "$(cd "$models" && pwd -P)" ] ||
        { echo "default models ${lines[1]}, not $models"; return 1; }
    grep -q "$beijing_ns" "$work/prog.out" || { cat "$work/prog.out"; return 1; }
}
check "a C program built with pkg-config opens the default models of the moved prefix" c_program

# Each public header compiles on its own, as installed.
headers() {
    local h
    for h in morv.h Engine.h; do
        printf '#include <morv/%s>\nint main(void) { return 0; }\n' "$h" >"$work/h.c"
        "$cc" -std=c99 -Wall -Wextra -pedantic -Werror -fsyntax-only -I"$p/$includedir" "$work/h.c" ||
            { echo "C: <morv/$h>"; return 1; }
    done
    for h in morv.h morv.hpp Engine.h; do
        printf '#include <morv/%s>\nint main() { return 0; }\n' "$h" >"$work/h.cpp"
        "$cxx" -std=c++17 -Wall -Wextra -pedantic -Werror -fsyntax-only -I"$p/$includedir" "$work/h.cpp" ||
            { echo "C++: <morv/$h>"; return 1; }
    done
}
check "the installed headers compile alone from C and C++" headers

# --- A C++ program through find_package(Morv) -------------------------------------
mkdir -p "$work/cxx"
cat >"$work/cxx/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.16)
project(UsesMorv CXX)
set(CMAKE_CXX_STANDARD 17)
find_package(Morv 3 REQUIRED)
add_executable(uses_morv main.cpp)
target_link_libraries(uses_morv PRIVATE Morv::morv)
EOF
cat >"$work/cxx/main.cpp" <<'EOF'
#include <iostream>

#include <morv/morv.hpp>

int main()
{
    try {
        morv::Model model;
        morv::Analyzer analyzer(model);
        for (const morv::Token& t : analyzer.Analyze("\xE4\xBB\x96\xE5\x9C\xA8\xE5\x8C\x97\xE4\xBA\xAC"))
            std::cout << t.word << '/' << t.tag << ' ';
        std::cout << '\n';
    } catch (const morv::Error& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
EOF
cxx_program() {
    local generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    "$cmake" -S "$work/cxx" -B "$work/cxx/build" "${generator[@]}" -DCMAKE_PREFIX_PATH="$p" \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="${sanitize_flags[*]}" >/dev/null || return 1
    "$cmake" --build "$work/cxx/build" >/dev/null || return 1
    "$work/cxx/build/uses_morv" | grep -q "$beijing_ns"
}
check "a C++ program built with find_package(Morv) and morv.hpp runs" cxx_program

# --- The Python package -----------------------------------------------------------
if [ $python_built = no ]; then
    : # said above
elif [ ${#sanitize_flags[@]} -gt 0 ]; then
    skip "Python package: the interpreter cannot load a sanitizer-built module"
else
    python_package() {
        local out
        out=$(PYTHONPATH=$p/$pythondir "$python" -B -c '
import morv, os, sys
print(os.path.realpath(morv.model_dir()))
print(os.path.realpath(os.path.dirname(morv.__file__)))
print(morv.tag(sys.argv[1]))' "$text") || return 1
        mapfile -t lines <<<"$out"
        [ "${lines[0]}" = "$(cd "$models" && pwd -P)" ] || { echo "models from ${lines[0]}"; return 1; }
        [ "${lines[1]}" = "$(cd "$p/$pythondir/morv" && pwd -P)" ] || { echo "package from ${lines[1]}"; return 1; }
        grep -q "('北京', 'ns')" <<<"${lines[2]}" || { echo "${lines[2]}"; return 1; }
    }
    check "import morv from the moved prefix finds its models there" python_package
fi

# --- Zelk ---------------------------------------------------------------------------
if [ $zelk_built = yes ]; then
    zelk() {
        [ -e "$models/MANUAL/Zelk_API.htm" ] && [ -e "$p/$datadir/doc/morv/Zelk_Help.htm" ]
    }
    check "Zelk's help pages are installed" zelk
    # Started from an empty folder, as from a desktop launcher: it opens on the
    # installed models, runs the sample, and writes its log where it may.
    zelk_starts() {
        local dir=$work/zelk-cwd
        mkdir -p "$dir" && cd "$dir" || return 1
        local run=(env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x900x24")
        command -v xvfb-run >/dev/null || run=(env QT_QPA_PLATFORM=offscreen)
        XDG_CACHE_HOME=$work/zelk-cache XDG_CONFIG_HOME=$work/zelk-config timeout 120 \
            "${run[@]}" "$p/$bindir/zelk" --run-file "$src/data/sample.txt" --screenshot "$work/zelk.png" || return 1
        [ -s "$work/zelk.png" ] && [ -s "$dir/result.htm" ] || return 1
        grep -qF "uses the models in $models." "$work/zelk-cache/zelk/Morv.log" ||
            { cat "$work/zelk-cache/zelk/Morv.log"; return 1; }
    }
    check "the installed Zelk starts from an empty folder on the installed models" zelk_starts
    cd "$work/cwd" || exit 1
fi

# --- The SQLite tokenizer -----------------------------------------------------------
if [ ! -e "$p/$libdir/morv_fts5.so" ]; then
    skip "the SQLite tokenizer is not part of this build (MORV_BUILD_SQLITE=OFF, or no libsqlite3-dev)"
elif ! command -v sqlite3 >/dev/null; then
    skip "the SQLite tokenizer: no sqlite3 shell"
else
    sqlite_extension() {
        local lib
        lib=$(ldd "$p/$libdir/morv_fts5.so" | sed -n 's/.*libmorv\.so\.3 => \([^ ]*\).*/\1/p')
        case "$lib" in
        "$p"/*) ;;
        *) echo "morv_fts5.so loads libmorv from '$lib'"; return 1 ;;
        esac
        # 北京 finds 他在北京工作。 with the models of the moved prefix.
        [ "$(printf '.load %s\nCREATE VIRTUAL TABLE t USING fts5(x, tokenize = morv);\nINSERT INTO t VALUES (%s);\nSELECT count(*) FROM t WHERE t MATCH %s;\n' \
            "$p/$libdir/morv_fts5" "'$text'" "'$(printf '\xE5\x8C\x97\xE4\xBA\xAC')'" | sqlite3 :memory:)" = 1 ]
    }
    check "the installed SQLite tokenizer loads and finds a word with the prefix's models" sqlite_extension
fi

# --- Nothing wrote into the models ----------------------------------------------
listing >"$work/models.after"
if ! diff "$work/models.before" "$work/models.after" >"$work/models.diff"; then
    fail "the installed model directory changed while it was used"
    sed 's/^/    /' "$work/models.diff"
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all install checks passed"
