"""Records CPython 3.14's answer for every broken sample in tests/data/pyast/errors into errors/expected.jsonl.

Usage: /usr/bin/python3 tests/pyast/record_parser_errors.py [--output FILE]

Run it after adding, changing or removing a sample (needs node and the pyodide
package in tests/pyast/oracle/node_modules: scripts/install-deps.sh). Each
sample goes through oracle.mjs as bytes, as ast.parse gets a file, and gives
one line, in the C locale's order of file names:
  {"file": "x.py", "error": {"type": T, "msg": M, "lineno": L, "offset": O,
                             "end_lineno": EL, "end_offset": EO}}
with null positions where Python gives None, or "error": null for a sample
that parses (its error only comes from compile(), or the grammar now allows
it). The parser test ParserErrorAnswers reads the file without node; the live
ParserOracle comparison checks the recorded answers are still CPython's.
Nothing is written when the oracle cannot answer for a sample (an unreadable
file, or pyodide's own stack giving out), since that answer would say
nothing about the source.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ORACLE = os.path.join(HERE, "oracle")
SAMPLES = os.path.normpath(os.path.join(HERE, "..", "data", "pyast", "errors"))
GOLDEN = "expected.jsonl"
# The kinds a source can give; anything else is a limit of the oracle.
SOURCE_ERRORS = {"SyntaxError", "IndentationError", "TabError", "MemoryError"}
FIELDS = ("type", "msg", "lineno", "offset", "end_lineno", "end_offset")


def fail(message):
    print(f"record_parser_errors: {message}", file=sys.stderr)
    sys.exit(1)


def sample_names():
    # Sorted by code point, which for these ASCII names is `LC_ALL=C sort`.
    return sorted(name for name in os.listdir(SAMPLES)
                  if name.endswith(".py") and os.path.isfile(os.path.join(SAMPLES, name)))


def ask_oracle(names):
    """One oracle record per name, in the same order."""
    node = shutil.which("node")
    if node is None:
        fail("node is not installed; install it (scripts/install-deps.sh) and run again")
    if not os.path.isdir(os.path.join(ORACLE, "node_modules", "pyodide")):
        fail(f"pyodide is not installed in {ORACLE}/node_modules; run scripts/install-deps.sh and run again")
    run = subprocess.run([node, os.path.join(ORACLE, "oracle.mjs"), "--mode", "dump"], cwd=SAMPLES,
                         input="\n".join(names) + "\n", capture_output=True, text=True)
    if run.returncode != 0:
        fail(f"the oracle exited with status {run.returncode}:\n{run.stderr.strip()}")
    records = [json.loads(line) for line in run.stdout.splitlines() if line.strip()]
    got = [r.get("path") for r in records]
    if got != names:
        fail(f"the oracle answered for {len(got)} files instead of the {len(names)} asked; see its output:\n"
             f"{run.stderr.strip()}")
    return records


def answer(record):
    name = record["path"]
    if "dump" in record:
        return {"file": name, "error": None}
    error = record["error"]
    if error["type"] not in SOURCE_ERRORS:
        fail(f"the oracle could not answer for {name} ({error['type']}: {error['msg']}); "
             "its answer would say nothing about the sample, so nothing was written: fix or shrink the sample")
    return {"file": name, "error": {k: error[k] for k in FIELDS}}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=os.path.join(SAMPLES, GOLDEN),
                        help="where to write the answers (default: %(default)s)")
    output = parser.parse_args().output
    names = sample_names()
    if not names:
        fail(f"no .py samples in {SAMPLES}")
    answers = [answer(r) for r in ask_oracle(names)]
    # Written whole or not at all, so a failed run leaves the old answers in place.
    folder = os.path.dirname(os.path.abspath(output))
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", dir=folder, prefix=".expected_", delete=False) as out:
        out.writelines(json.dumps(a) + "\n" for a in answers)
    os.chmod(out.name, 0o644)
    os.replace(out.name, output)
    errors = sum(1 for a in answers if a["error"] is not None)
    print(f"{output}: {len(answers)} samples, {errors} with an error, {len(answers) - errors} that parse")
    return 0


if __name__ == "__main__":
    sys.exit(main())
