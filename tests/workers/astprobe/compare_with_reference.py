#!/usr/bin/env python3
"""Sends the same commands to astprobe and to the Python reference worker and compares the answers.

Usage: compare_with_reference.py [--every N] ASTPROBE REFERENCE_SCRIPT PATH...
Each PATH is a .py file or a folder searched for .py files (with --every N, only every Nth file
found, in sorted order). Every file gets
every action; answer lines must be equal as text, except where this Python
and the worker's CPython 3.14 grammar may differ by version: the "parse_ast"
dump and the wording of syntax errors are compared only when this Python is
3.14 or later, and a file this Python cannot parse while astprobe can is
taken for newer syntax. Exits 1 and lists the first differences when any are found.
"""
import json
import os
import subprocess
import sys
import threading

ACTIONS = ["analyze", "parse_ast", "find_functions", "find_classes", "find_imports", "find_todos",
           "complexity", "symbols", "call_graph", "summarize"]
SAME_PYTHON = sys.version_info >= (3, 14)


def python_files(paths):
    for p in paths:
        if os.path.isdir(p):
            for root, dirs, files in os.walk(p):
                dirs.sort()
                for f in sorted(files):
                    if f.endswith(".py"):
                        yield os.path.join(root, f)
        else:
            yield p


def answers(argv, lines):
    proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def feed():
        for line in lines:
            proc.stdin.write(line.encode() + b"\n")
        proc.stdin.close()

    writer = threading.Thread(target=feed)
    writer.start()
    out = proc.stdout.read().decode().splitlines()
    writer.join()
    if proc.wait() != 0:
        sys.exit(f"{argv[0]} exited with status {proc.returncode}")
    return out


def comparable(action, ours, theirs):
    if ours == theirs or SAME_PYTHON:
        return ours == theirs
    a, b = json.loads(ours), json.loads(theirs)
    syntax = "Syntax error at line "
    if a["success"] and not b["success"] and b["error"].startswith(syntax):
        return True  # syntax newer than this Python; modern.answers.jsonl holds 3.14's answers
    if a["success"] != b["success"]:
        return False
    if not a["success"]:
        return a["error"].startswith(syntax) and b["error"].startswith(syntax)
    return action == "parse_ast"


def main():
    args = sys.argv[1:]
    every = 1
    if args[:1] == ["--every"]:
        every = int(args[1])
        args = args[2:]
    program, reference, *paths = args
    files = list(python_files(paths))[::every]
    commands = [json.dumps({"action": a, "path": f}) for f in files for a in ACTIONS]
    ours = answers([program], commands)
    theirs = answers([sys.executable, reference], commands)
    if len(ours) != len(commands) or len(theirs) != len(commands):
        sys.exit(f"answer counts differ: {len(commands)} commands, astprobe {len(ours)}, reference {len(theirs)}")
    differences = [(c, o, t) for c, o, t in zip(commands, ours, theirs)
                   if not comparable(json.loads(c)["action"], o, t)]
    for c, o, t in differences[:10]:
        print(f"command:   {c}\nastprobe:  {o[:2000]}\nreference: {t[:2000]}\n")
    print(f"{len(files)} files, {len(commands)} commands, {len(differences)} differences")
    sys.exit(1 if differences else 0)


if __name__ == "__main__":
    main()
