#!/usr/bin/python3
"""Runs every code example of the README and the man pages, so that the
documentation cannot drift from the programs. The convention the examples
follow (markers, kinds, options) is described in CONTRIBUTING.md.

    doc_examples.py --source SRC --build BUILD [--cc CC] [--cxx CXX] [--list] [FILE...]

Each example runs in a scratch directory that looks like the checkout: every
top-level entry of SRC is linked there, `build` is BUILD, HOME is an empty
directory inside it, PATH starts with build/bin, MORV_HOME names the trained
models and PYTHONPATH the build's Python package.
"""
import argparse
import doctest
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

KINDS = {"console", "sh", "c", "c++", "python", "pycon", "cmake", "text"}
# Kinds that only make sense as text to read.
NEVER_RUN = {"cmake", "text"}
TIMEOUT = 300
PYTHON = "/usr/bin/python3"
MARKER = re.compile(r"^\s*(?:<!--\s*example:(.*?)-->|\.\\\"\s*example:(.*))\s*$")


class Example:
    def __init__(self, path, line, code, marker):
        self.path = path
        self.line = line          # of the block's first line
        self.code = code          # the block's text, unindented, unescaped
        self.marker = marker      # the marker's text, or None
        self.kind = None
        self.not_run = None       # the reason, when not run
        self.before = []
        self.after = []
        self.replace = []

    def where(self):
        return "%s:%d" % (self.path, self.line)

    def parse_marker(self):
        """The kind and options of the marker; an error message or None."""
        if self.marker is None:
            return ("a code block without an example marker; put <!-- example: KIND --> "
                    "(or .\\\" example: KIND before .EX) on the line before it: see CONTRIBUTING.md")
        parts = [p.strip() for p in self.marker.split(";")]
        self.kind = parts[0]
        if self.kind not in KINDS:
            return "unknown example kind %r (one of %s)" % (self.kind, ", ".join(sorted(KINDS)))
        for part in parts[1:]:
            name, _, value = part.partition(":")
            name, value = name.strip(), value.strip()
            if name == "not run" and value:
                self.not_run = value
            elif name == "before" and value:
                self.before.append(value)
            elif name == "after" and value:
                self.after.append(value)
            elif name == "replace" and "=>" in value:
                old, _, new = value.partition("=>")
                self.replace.append((old.strip(), new.strip()))
            else:
                return "unknown or empty example option %r" % part
        if self.kind in NEVER_RUN and self.not_run is None:
            return "a %s block cannot run: mark it '%s; not run: WHY'" % (self.kind, self.kind)
        for old, _ in self.replace:
            if old not in self.code:
                return "replace: %r does not occur in the example" % old
        return None

    def runnable_code(self):
        code = self.code
        for old, new in self.replace:
            code = code.replace(old, new)
        return code


# --- Extraction ------------------------------------------------------------

def markdown_examples(path, text):
    """Fenced and indented code blocks with the marker on the line before."""
    lines = text.split("\n")
    examples = []
    i = 0
    previous_blank = True
    in_list = False

    def marker_before(k):
        j = k - 1
        while j >= 0 and not lines[j].strip():
            j -= 1
        if j < 0:
            return None
        m = MARKER.match(lines[j])
        return m.group(1).strip() if m and m.group(1) is not None else None

    while i < len(lines):
        line = lines[i]
        fence = re.match(r"^(\s{0,3})(```+|~~~+)(.*)$", line)
        if fence:
            mark = fence.group(2)
            body = []
            j = i + 1
            while j < len(lines) and not lines[j].strip().startswith(mark):
                body.append(lines[j])
                j += 1
            examples.append(Example(path, i + 2, "\n".join(body) + "\n", marker_before(i)))
            i = j + 1
            previous_blank = False
            continue
        if re.match(r"^\s*([-*+]|\d+[.)])\s", line):
            in_list = True
        elif not line.strip():
            pass
        elif not line.startswith(" "):
            in_list = False
        if previous_blank and not in_list and line.startswith("    ") and line.strip():
            body = []
            j = i
            while j < len(lines) and (lines[j].startswith("    ") or not lines[j].strip()):
                body.append(lines[j][4:])
                j += 1
            while body and not body[-1].strip():
                body.pop()
            examples.append(Example(path, i + 1, "\n".join(body) + "\n", marker_before(i)))
            i = j
            previous_blank = True
            continue
        # An HTML comment is a block of its own: a code block may follow it at once.
        previous_blank = not line.strip() or bool(MARKER.match(line))
        i += 1
    return examples


TROFF_NAMED = {"aq": "'", "dq": '"', "ga": "`", "ti": "~", "ha": "^", "rs": "\\", "em": "\u2014",
               "en": "\u2013", "lq": "\u201c", "rq": "\u201d", "bu": "\u2022"}


def unescape_troff(line, where):
    out = []
    i = 0
    while i < len(line):
        c = line[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        rest = line[i + 1:]
        if rest.startswith("-") or rest.startswith("\\"):
            out.append(rest[0])
            i += 2
        elif rest.startswith("e"):
            out.append("\\")
            i += 2
        elif rest.startswith("~") or rest.startswith(" "):
            out.append(" ")
            i += 2
        elif rest.startswith("&") or rest.startswith("%"):
            i += 2
        elif rest.startswith("("):
            name = rest[1:3]
            if name not in TROFF_NAMED:
                raise ValueError("%s: unknown escape \\(%s" % (where, name))
            out.append(TROFF_NAMED[name])
            i += 4
        elif rest.startswith("["):
            close = rest.find("]")
            name = rest[1:close]
            if re.fullmatch(r"u[0-9A-F]{4,6}", name):
                out.append(chr(int(name[1:], 16)))
            elif name in TROFF_NAMED:
                out.append(TROFF_NAMED[name])
            else:
                raise ValueError("%s: unknown escape \\[%s]" % (where, name))
            i += close + 2
        elif rest[:1] == "f":  # a font change
            if rest[1:2] == "[":
                i += rest.find("]") + 2
            else:
                i += 5 if rest[1:2] == "(" else 3
        else:
            raise ValueError("%s: unknown escape \\%s" % (where, rest[:1]))
    return "".join(out)


def man_examples(path, text):
    """The .EX ... .EE blocks of a man page, unescaped, with the comment before .EX."""
    lines = text.split("\n")
    examples = []
    i = 0
    while i < len(lines):
        if lines[i].strip() == ".EX":
            body = []
            j = i + 1
            while j < len(lines) and lines[j].strip() != ".EE":
                if not lines[j].startswith('.\\"'):
                    body.append(unescape_troff(lines[j], "%s:%d" % (path, j + 1)))
                j += 1
            marker = None
            m = MARKER.match(lines[i - 1]) if i > 0 else None
            if m and m.group(2) is not None:
                marker = m.group(2).strip()
            examples.append(Example(path, i + 2, "\n".join(body) + "\n", marker))
            i = j + 1
            continue
        i += 1
    return examples


def examples_of(path, text):
    return man_examples(path, text) if re.search(r"\.\d$", path) else markdown_examples(path, text)


# --- Running ---------------------------------------------------------------

class Runner:
    def __init__(self, args):
        self.source = os.path.abspath(args.source)
        self.build = os.path.abspath(args.build)
        self.cc = args.cc
        self.cxx = args.cxx

    def scratch(self):
        work = tempfile.mkdtemp(prefix="morv-doc-")
        for name in os.listdir(self.source):
            if name == "build" or name.startswith("build-") or name == ".git":
                continue
            os.symlink(os.path.join(self.source, name), os.path.join(work, name))
        os.symlink(self.build, os.path.join(work, "build"))
        include = os.path.join(work, ".include")
        os.makedirs(include)
        os.symlink(os.path.join(self.source, "engine"), os.path.join(include, "morv"))
        os.makedirs(os.path.join(work, ".home"))
        return work

    def environment(self, work):
        env = {k: v for k, v in os.environ.items() if not k.startswith("MORV_")}
        env.update({
            "HOME": os.path.join(work, ".home"),
            "PATH": os.path.join(self.build, "bin") + os.pathsep + env.get("PATH", "/usr/bin:/bin"),
            "MORV_HOME": os.path.join(self.build, "bin", "Morv"),
            "PYTHONPATH": os.path.join(self.build, "python"),
            "LC_ALL": "C.UTF-8",
            "PYTHONDONTWRITEBYTECODE": "1",
            # The tests must not rebuild the tree they test while other tests run.
            "MORV_SETUP_REUSE_ONLY": "1",
        })
        return env

    def sh(self, script, work, env, what, stop_on_error=True):
        """Runs a bash script; returns (ok, output)."""
        options = ["-e", "-o", "pipefail"] if stop_on_error else ["-o", "pipefail"]
        try:
            done = subprocess.run(["bash", *options, "-c", script], cwd=work, env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            return False, "%s: no answer within %d s" % (what, TIMEOUT)
        output = done.stdout.decode("utf-8", "replace")
        if done.returncode != 0:
            return False, "%s failed (exit status %d):\n%s" % (what, done.returncode, output)
        return True, output

    def check_syntax(self, ex):
        code = ex.code
        if ex.kind in ("sh", "console"):
            script = code if ex.kind == "sh" else "\n".join(c for c, _ in console_commands(code))
            done = subprocess.run(["bash", "-n"], input=script.encode(), stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT)
            return None if done.returncode == 0 else "not shell syntax:\n" + done.stdout.decode()
        if ex.kind == "python":
            try:
                compile(code, ex.where(), "exec")
            except SyntaxError as e:
                return "not Python syntax: %s" % e
        if ex.kind == "pycon":
            try:
                doctest.DocTestParser().get_examples(code, ex.where())
            except ValueError as e:
                return "not an interactive Python session: %s" % e
        return None

    def run(self, ex):
        """None when the example does what it shows; else why not."""
        work = self.scratch()
        try:
            env = self.environment(work)
            for command in ex.before:
                ok, out = self.sh(command, work, env, "before: " + command)
                if not ok:
                    return out
            failure = getattr(self, "run_" + ex.kind.replace("+", "x"))(ex, ex.runnable_code(), work, env)
            if failure:
                return failure
            for command in ex.after:
                ok, out = self.sh(command, work, env, "after: " + command)
                if not ok:
                    return out
            return None
        finally:
            shutil.rmtree(work, ignore_errors=True)

    def run_sh(self, ex, code, work, env):
        ok, out = self.sh(code, work, env, "the commands")
        return None if ok else out

    def run_console(self, ex, code, work, env):
        # One shell for the whole session, so that a cd or a variable carries on;
        # each command's output and status go to files of their own.
        commands = console_commands(code)
        script = []
        for k, (command, _) in enumerate(commands):
            out = os.path.join(work, ".out.%d" % k)
            script.append("{ %s\n} > '%s' 2>&1; echo $? > '%s.rc'; [ \"$(cat '%s.rc')\" = 0 ] || exit 1"
                          % (command, out, out, out))
        self.sh("\n".join(script), work, env, "the session", stop_on_error=False)
        for k, (command, expected) in enumerate(commands):
            out = os.path.join(work, ".out.%d" % k)
            if not os.path.exists(out + ".rc"):
                return "$ %s\nwas not reached" % command
            with open(out, encoding="utf-8", errors="replace") as f:
                got = f.read()
            with open(out + ".rc") as f:
                status = f.read().strip()
            if status != "0":
                return "$ %s\nfailed (exit status %s):\n%s" % (command, status, got)
            if expected is not None and not output_matches(expected, got):
                return "$ %s\nshows:\n%s\nprints:\n%s" % (command, "\n".join(expected), got)
        return None

    def compile_and_run(self, ex, code, work, env, compiler, suffix, flags):
        source = os.path.join(work, "example" + suffix)
        with open(source, "w", encoding="utf-8") as f:
            f.write(code)
        program = os.path.join(work, "example")
        command = [compiler, *flags, "-Wall", "-Wextra", "-Werror", "-I", os.path.join(work, ".include"),
                   source, "-o", program, "-L", self.build, "-lmorv", "-Wl,-rpath," + self.build]
        done = subprocess.run(command, cwd=work, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            return "does not compile:\n" + done.stdout.decode("utf-8", "replace")
        ok, out = self.sh(program, work, env, "the program")
        return None if ok else out

    def run_c(self, ex, code, work, env):
        return self.compile_and_run(ex, code, work, env, self.cc, ".c", ["-std=c11", "-pedantic"])

    def run_cxx(self, ex, code, work, env):
        return self.compile_and_run(ex, code, work, env, self.cxx, ".cpp", ["-std=c++17"])

    def run_python(self, ex, code, work, env):
        with open(os.path.join(work, "example.py"), "w", encoding="utf-8") as f:
            f.write(code)
        ok, out = self.sh(PYTHON + " example.py", work, env, "the program")
        return None if ok else out

    def run_pycon(self, ex, code, work, env):
        with open(os.path.join(work, "example.txt"), "w", encoding="utf-8") as f:
            f.write(code)
        ok, out = self.sh(PYTHON + " -m doctest -o ELLIPSIS example.txt", work, env, "the session")
        return None if ok else out


def console_commands(code):
    """(command, expected output lines or None) for each '$ ' line of a session."""
    commands = []
    lines = code.rstrip("\n").split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.startswith("$ "):
            i += 1
            continue
        command = line[2:]
        while command.endswith("\\") and i + 1 < len(lines):
            i += 1
            command = command + "\n" + lines[i]
        i += 1
        shown = []
        while i < len(lines) and not lines[i].startswith("$ "):
            shown.append(lines[i])
            i += 1
        while shown and not shown[-1].strip():
            shown.pop()
        commands.append((command, shown or None))
    return commands


def output_matches(expected, got):
    """Line by line, trailing blanks ignored; a line '...' stands for any lines."""
    lines = [l.rstrip() for l in got.rstrip("\n").split("\n")] if got.strip() else []
    want = [l.rstrip() for l in expected]

    def match(w, g):
        if not w:
            return not g
        if w[0] == "...":
            return any(match(w[1:], g[k:]) for k in range(len(g) + 1))
        return bool(g) and g[0] == w[0] and match(w[1:], g[1:])
    return match(want, lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--cc", default="cc")
    parser.add_argument("--cxx", default="c++")
    parser.add_argument("--list", action="store_true", help="only list the examples and their markers")
    parser.add_argument("files", nargs="*", help="default: README.md and doc/man/*.1 of the source")
    args = parser.parse_args()
    files = args.files or [os.path.join(args.source, "README.md")] + sorted(
        glob.glob(os.path.join(args.source, "doc", "man", "*.1")))
    runner = Runner(args)
    failures = 0
    ran = skipped = 0
    for path in files:
        with open(path, encoding="utf-8") as f:
            text = f.read()
        shown = os.path.relpath(path, args.source)
        try:
            examples = examples_of(shown, text)
        except ValueError as e:
            print("FAIL: %s" % e)
            failures += 1
            continue
        for ex in examples:
            problem = ex.parse_marker()
            if problem is None:
                problem = runner.check_syntax(ex)
            if problem is None and args.list:
                print("%s: %s%s" % (ex.where(), ex.kind, "; not run: " + ex.not_run if ex.not_run else ""))
                continue
            took = ""
            if problem is None and ex.not_run is None:
                start = time.monotonic()
                problem = runner.run(ex)
                took = ", %.1f s" % (time.monotonic() - start)
                ran += 1
            elif problem is None:
                skipped += 1
            if problem is None:
                print("ok: %s (%s%s%s)" % (ex.where(), ex.kind, ", not run: " + ex.not_run if ex.not_run else "", took))
            else:
                failures += 1
                print("FAIL: %s (%s)\n%s" % (ex.where(), ex.kind or "?", "    " + problem.replace("\n", "\n    ")))
    if not args.list:
        print("doc examples: %d run, %d marked not run, %d failed" % (ran, skipped, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
