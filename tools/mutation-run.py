#!/usr/bin/python3
"""Plants small faults in the new stages' code one at a time, rebuilds the test
program and runs the tests of the stage each fault is in; reports which faults
the tests catch. Not part of test.sh: a run rebuilds once per fault.

    tools/mutation-run.py [--build-dir build-mutation] [--models build/bin/Morv]
                          [--only N[,N...]] [--list]

The faults go into a copy of the working tree's sources (BUILD-DIR/source,
brought up to date at each run), built in BUILD-DIR/build (configured on first
use: Debug at -O1, no Python, no benchmarks, no Zelk): the working tree and its
builds are never touched, so work may go on beside a run. The trained models
are copied in from --models, so the tests that read them run too. Exit status
0 when every fault is caught, 1 when some survive, 2 when the tests fail
unmutated.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

POS = "CPosModel.*:PosFeatures.*:PosModelTrainer.*:NewWordsTest.*"
NAME = "CNameModel.*:CNameStageTest.*:NameStageEngine.*:NameModelTrainer.*:NewWordsTest.*"
ENTITY = "EntityFixture.*:EntityTagging.*:EntityStage.*:EntityTraining.*:NewWordsTest.*"
CHARS = "CCharModel.*:CharModelTrainer.*:NewWordsTest.*"
SUPPLEMENT = "CSupplementWordsTest.*:CSupplementTest.*:SupplementStageTest.*:SupplementBonus.*:NewWordsTest.*"

# (file, text as it is, text with the fault, what the fault does, tests to run)
FAULTS = [
    # The part-of-speech model.
    ("tagging/CPosModel.cpp",
     "        std::fill(ws.sums.begin(), ws.sums.end(), 0);\n",
     "",
     "a token's feature sums start from the previous token's", POS),
    ("tagging/CPosModel.cpp",
     "            ws.emission[static_cast<size_t>(c)] = sums[ws.candidateTag[static_cast<size_t>(c)]];",
     "            ws.emission[static_cast<size_t>(c)] = sums[ws.candidateTag[static_cast<size_t>(c)]] != 0 || c == "
     "ws.candidateStart[j] ? sums[ws.candidateTag[static_cast<size_t>(c)]] : ws.emission[static_cast<size_t>(c) - 1];",
     "a candidate without weights keeps the score of the candidate before it", POS),
    ("tagging/CPosModel.cpp",
     "                if (p == p0 || s > best) {",
     "                if (p == p0 || s >= best) {",
     "on equal path scores the later predecessor wins", POS),
    ("tagging/CPosModel.cpp",
     "            for (int e = expandStart[t]; e < expandStart[t + 1]; ++e)",
     "            for (int e = expandStart[t] + 1; e < expandStart[t + 1]; ++e)",
     "the first expansion pair of a tag is left out", POS),
    # (Describing a folded word's characters as well is no fault: Keys never
    # reads them, so it only costs time; that mutant is left out.)
    ("tagging/PosFeatures.cpp",
     "    if (i + 2 < count && infos[i + 2].word >= 0)\n        add(kNext2Word",
     "    if (i + 3 < count && infos[i + 2].word >= 0)\n        add(kNext2Word",
     "the word two after is not read before the sentence's last token", POS),
    ("tagging/CPosModel.cpp",
     "    if (ws.IsEntity(token.wordId)) {\n        push(token.kind);",
     "    if (ws.IsEntity(token.wordId) && token.kind == 255) {\n        push(token.kind);",
     "a merged place or organisation name is tagged as any word", POS + ":" + ENTITY),
    # The person-name model.
    ("segment/CharModelFile.h",
     "        if (c < 0 || c >= n) {",
     "        if (c < 0 || c >= n - 1) {",
     "the last character is read as the sentence's edge: the context after the last-but-one is lost",
     NAME + ":" + CHARS),
    ("tagging/CNameModel.cpp",
     "        const int32_t after = i + 1 < n ? found[kLexMatches + 0] : 0; // begins at i + 1",
     "        const int32_t after = i + 4 < n ? found[kLexMatches + 0] : 0; // begins at i + 1",
     "the string just after a character near the end is ignored", NAME),
    ("tagging/CNameModel.cpp",
     "        for (size_t t = 0; t < kPairPlaces; ++t)",
     "        for (size_t t = 0; t + 1 < kPairPlaces; ++t)",
     "the pair of the two characters after a character is ignored", NAME),
    ("tagging/CNameModel.cpp",
     "            note(i + length - 1, 1, length, code);",
     "            note(i + length - 2, 1, length, code);",
     "a string's end is noted one character early", NAME),
    ("tagging/CNameModel.cpp",
     "            s += LoadBlock(contextWeights + ContextBlock(1, (after >> 8) % kContextBuckets, after & 15));",
     "            s += LoadBlock(contextWeights + ContextBlock(1, (after >> 8) / kContextBuckets, after & 15));",
     "the name context after a character reads the share of the wrong side", NAME),
    ("tagging/CNameModel.cpp",
     "        const int64_t end = endBonus[i] - cut;",
     "        const int64_t end = endBonus[i];",
     "a name may end inside a token without paying", NAME),
    # Places and organisations.
    ("tagging/CEntityRecognizer.cpp",
     "        if (first <= 0 || last + 1 >= count)",
     "        if (first < 0 || last + 1 >= count)",
     "a name may start at the sentence-begin marker", ENTITY),
    # (Letting a name end at the end marker is no fault here: the automaton's
    # runs never end at the last token; that mutant is left out.)
    ("tagging/CEntityRecognizer.cpp",
     "            if (org < organizations && merges[org].first <= p.last) {",
     "            if (org < organizations && merges[org].first < p.last) {",
     "a place that ends where an organisation begins is kept beside it", ENTITY),
    ("tagging/CEntityRecognizer.cpp",
     "                if (o.first <= p.first && p.last <= o.last)",
     "                if (o.first <= p.last)",
     "a place that overlaps an organisation without lying inside it lends it its words' tags", ENTITY),
    ("tagging/CEntityRecognizer.cpp",
     "            if (m.last > m.first)\n                merged.flags = 0;",
     "            if (m.last >= m.first)\n                merged.flags = 0;",
     "a name of one new word loses its flags", ENTITY),
    ("tagging/CEntityRecognizer.cpp",
     "        if (!(edges[static_cast<size_t>(run.first)] & kBeginsOwner) || "
     "!(edges[static_cast<size_t>(run.last)] & kEndsOwner))",
     "        if (!(edges[static_cast<size_t>(run.first)] & kBeginsOwner))",
     "a name may end inside a new word", ENTITY),
    # The new-word character model.
    # (The character model is given whole sentences now: no context after a
    # range to drop.)
    ("segment/CCharModel.cpp",
     "        if (ws.keys[w - 2] == ws.keys[w])",
     "        if (ws.keys[w - 2] == ws.keys[w - 1])",
     "the repeat two back compares the wrong characters", CHARS),
    ("segment/CCharModel.cpp",
     "        const uint16_t a = ws.dense[i + 1], b = ws.dense[i + 3];",
     "        const uint16_t a = ws.dense[i + 1], b = ws.dense[i + 4];",
     "the skip pair reads the character two after instead of one", CHARS),
    ("segment/CCharModel.cpp",
     "        c[kE] = std::max(toB + tEB, toS + tES);",
     "        c[kE] = std::max(toB + tEB, toS + tSS);",
     "a word's margin uses the wrong transition after its end", CHARS),
    ("segment/CCharModel.cpp",
     "    uint8_t label = last[kE] >= last[kS] ? kE : kS;",
     "    uint8_t label = last[kE] > last[kS] ? kE : kS;",
     "on a tie the last character prefers a word of its own", CHARS),
    # The supplementary lexicon's words.
    ("segment/CSupplementWords.cpp",
     "            if (end <= a.end || !atomEnds[static_cast<size_t>(end)])",
     "            if (end < a.end || !atomEnds[static_cast<size_t>(end)])",
     "a supplementary word as long as its first atom is proposed", SUPPLEMENT),
    ("segment/CSupplementWords.cpp",
     "                overlaps = overlaps || (start < span.second && span.first < end);",
     "                overlaps = overlaps || (start < span.second && span.first < start);",
     "a supplementary word may cover the start of a protected span", SUPPLEMENT),
    ("segment/CNewWordStage.cpp",
     "    return (f > 0 ? std::log(f / classFrequency) : -100.0) + settings.supplementBonus;",
     "    return (f > 0 ? std::log(f / classFrequency) : -100.0);",
     "a supplementary word scores without the bonus", SUPPLEMENT),
]


def run(command, log, timeout=None, cwd=None):
    with open(log, "ab") as out:
        out.write(("\n$ " + " ".join(command) + "\n").encode())
        out.flush()
        try:
            return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            out.write(b"\n(timed out)\n")
            return -1


def sync_sources(dest):
    """Copies the working tree's files (tracked and not ignored) into dest,
    rewriting only those that differ, so that the build there stays incremental."""
    names = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT, check=True,
                           capture_output=True).stdout.decode().split("\0")
    for name in filter(None, names):
        source, target = os.path.join(ROOT, name), os.path.join(dest, name)
        if not os.path.isfile(source):
            continue
        with open(source, "rb") as f:
            content = f.read()
        if os.path.isfile(target):
            with open(target, "rb") as f:
                if f.read() == content:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(content)
        shutil.copymode(source, target)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build-mutation"),
                        help="where the copy of the sources and its build go")
    parser.add_argument("--models", default=os.path.join(ROOT, "build", "bin", "Morv"))
    parser.add_argument("--only", help="comma-separated fault numbers (from --list)")
    parser.add_argument("--list", action="store_true", help="list the faults and stop")
    parser.add_argument("--timeout", type=int, default=600, help="seconds for one test run")
    args = parser.parse_args()
    if args.list:
        for n, (path, _, _, what, _) in enumerate(FAULTS, 1):
            print("%2d  %-32s %s" % (n, path, what))
        return 0
    chosen = range(1, len(FAULTS) + 1)
    if args.only:
        chosen = [int(x) for x in args.only.split(",")]

    top = os.path.abspath(args.build_dir)
    tree = os.path.join(top, "source")
    build = os.path.join(top, "build")
    log = os.path.join(top, "mutation.log")
    os.makedirs(build, exist_ok=True)
    open(log, "w").close()
    sync_sources(tree)
    env = dict(os.environ, CMAKE_CXX_COMPILER_LAUNCHER="ccache", CMAKE_C_COMPILER_LAUNCHER="ccache")
    os.environ.update(env)
    if not os.path.exists(os.path.join(build, "build.ninja")):
        if run(["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
                "-DCMAKE_CXX_FLAGS_DEBUG=-O1", "-DCMAKE_C_FLAGS_DEBUG=-O1", "-DMORV_BUILD_PYTHON=OFF",
                "-DMORV_BUILD_BENCH=OFF", "-DMORV_BUILD_APP=OFF"], log) != 0:
            print("cannot configure %s (see %s)" % (build, log))
            return 2
    # A copy, never a link: tests copy the model directory and change their copy.
    models = os.path.join(build, "bin", "Morv")
    if os.path.isdir(args.models) and not os.path.isfile(os.path.join(models, "Data", "NewWord.cm")):
        shutil.rmtree(models, ignore_errors=True)
        shutil.copytree(args.models, models, ignore=shutil.ignore_patterns("*.log", "UserDict.pdat"))
    tests = os.path.join(build, "bin", "morv_tests")

    def build_and_test(filter_):
        if run(["cmake", "--build", build, "--target", "morv_tests"], log) != 0:
            return "build failed"
        code = run([tests, "--gtest_filter=" + filter_, "--gtest_brief=1"], log, timeout=args.timeout,
                   cwd=os.path.join(build, "tests"))
        return "passed" if code == 0 else "failed"

    every = ":".join(sorted({suite for fault in FAULTS for suite in fault[4].split(":")}))
    print("unmutated ...", end=" ", flush=True)
    started = time.monotonic()
    outcome = build_and_test(every)
    print("%s (%.0f s)" % (outcome, time.monotonic() - started))
    if outcome != "passed":
        print("the tests must pass unmutated first (see %s)" % log)
        return 2

    caught, survived, broken = [], [], []
    for n in chosen:
        path, before, after, what, filter_ = FAULTS[n - 1]
        source = os.path.join(tree, path)
        with open(source, encoding="utf-8") as f:
            original = f.read()
        if original.count(before) != 1:
            print("%2d  %-32s NOT PLANTED (the text is not there once): %s" % (n, path, what))
            broken.append(n)
            continue
        started = time.monotonic()
        try:
            with open(source, "w", encoding="utf-8") as f:
                f.write(original.replace(before, after))
            outcome = build_and_test(filter_)
        finally:
            with open(source, "w", encoding="utf-8") as f:
                f.write(original)
        verdict = {"failed": "caught", "passed": "SURVIVED", "build failed": "DID NOT BUILD"}[outcome]
        (caught if outcome == "failed" else survived if outcome == "passed" else broken).append(n)
        print("%2d  %-32s %-13s %s (%.0f s)" % (n, path, verdict, what, time.monotonic() - started), flush=True)
    # Leave the build as the sources are.
    run(["cmake", "--build", build, "--target", "morv_tests"], log)
    planted = len(caught) + len(survived)
    print("%d faults planted, %d caught, %d survived%s" % (
        planted, len(caught), len(survived),
        ", %d could not be planted or built" % len(broken) if broken else ""))
    return 0 if not survived and not broken else 1


if __name__ == "__main__":
    sys.exit(main())
