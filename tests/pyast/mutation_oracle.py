"""Broken programs made by mutating real code, checked against CPython 3.14: same message, line and offset.

Usage: mutation_oracle.py PARSER-TESTS COMPILE-TESTS [COUNT] [SEED] [--keep FOLDER] [--min-agreement RATE]

Each mutant is one to three top-level statements cut from a real module (the
system's standard library, the newest pyenv copy, the samples in
tests/data/pyast) with one or two edits at token level: a token dropped,
duplicated, swapped with its neighbour or replaced by a keyword, operator or
bracket; a stray character; a backslash followed by something other than a
line end; the source cut short inside a bracket; an f-string broken inside a
replacement field (a lone brace, a bad conversion, a comment, two names in a
row). The mutants go to a scratch folder that both test binaries read through
NORVEX_PYAST_ORACLE_EXTRA, so pyast::parse is compared with ast.parse and
compile_check with compile(); a mutant either binary names in a failure
disagrees. The run fails when fewer than the given share agree (1.0 unless
--min-agreement says otherwise).

CI runs a fixed seed and a few hundred mutants. The long run is by hand, e.g.
  python3 tests/pyast/mutation_oracle.py build/default/bin/pyast_parser_tests \
      build/default/bin/pyast_compile_tests 10000 1 --keep /tmp/mutants --min-agreement 0.999
which takes about a minute; --keep leaves the mutants and manifest.tsv (what
was done to each) behind for a failure to be replayed. A mutant names its
source file and lines, so the same seed gives the same mutants only over the
same Python installations.
"""
import glob
import io
import keyword
import os
import random
import re
import subprocess
import sys
import tempfile
import tokenize

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "data", "pyast")

KEYWORDS = sorted(set(keyword.kwlist) | {"match", "case", "type", "_"})
OPERATORS = ["(", ")", "[", "]", "{", "}", ",", ":", ";", ".", "=", ":=", "==", "+", "-", "*", "**", "/", "//", "%",
             "@", "->", "<", ">", "!=", "|", "&", "^", "~", "<<", "+=", "...", "!"]
STRAY = ["$", "?", "`", "!", "\\", "\u00a0", "\u2028", "\u00e9", "\u20ac", "\x0c", "'", '"', "'''", "0x", "1_", "0b2",
         "1e", "07", "\t"]
AFTER_BACKSLASH = [" ", "x", "#", "\t", "1", "(", " \\"]
FIELD_EDITS = ["{", "}", "!x", "!", "!r:", ":", "=", " #c", " x", "{x y}", "{!r}", "{=}", "{}", "\\", "{x!}",
               "{x!z}", "{x:{y:{z}}}", "{lambda x: 1}", "{yield}", "{*x}", "{x:=1}", "{'a' 'b'}", "{x #c\n}",
               "{x = }", "{x!r=}", "{x:}}", "{{", "}}"]


def top_level_chunks(text):
    """The (start, end) line spans of the module's top-level statements, from its tokens."""
    spans = []
    depth_indent = 0
    start = None
    try:
        for tok in tokenize.generate_tokens(io.StringIO(text).readline):
            if tok.type == tokenize.INDENT:
                depth_indent += 1
            elif tok.type == tokenize.DEDENT:
                depth_indent -= 1
            if tok.type in (tokenize.NL, tokenize.COMMENT, tokenize.INDENT, tokenize.DEDENT, tokenize.ENDMARKER):
                continue
            if start is None and depth_indent == 0:
                start = tok.start[0]
            if tok.type == tokenize.NEWLINE and depth_indent == 0 and start is not None:
                spans.append((start, tok.end[0]))
                start = None
    except (tokenize.TokenError, IndentationError, SyntaxError):
        return []
    # A compound statement ends at the dedent back to column 0: merge each
    # head with the lines that follow it up to the next top-level start.
    lines = text.count("\n") + 1
    starts = [s for s, _ in spans]
    merged = []
    for i, s in enumerate(starts):
        e = (starts[i + 1] - 1) if i + 1 < len(starts) else lines
        merged.append((s, e))
    return merged


def tokens_of(text):
    """(type, start offset, end offset, string) of each token, or None when Python 3.11 cannot tokenize the text."""
    line_starts = [0]
    for line in text.splitlines(keepends=True):
        line_starts.append(line_starts[-1] + len(line))

    def off(pos):
        return line_starts[pos[0] - 1] + pos[1]

    out = []
    try:
        for tok in tokenize.generate_tokens(io.StringIO(text).readline):
            if tok.type in (tokenize.ENDMARKER, tokenize.DEDENT, tokenize.INDENT) or tok.string == "":
                continue
            out.append((tok.type, off(tok.start), off(tok.end), tok.string))
    except (tokenize.TokenError, IndentationError, SyntaxError):
        return None
    return out


def is_fstring(tok):
    if tok[0] != tokenize.STRING:
        return False
    prefix = re.match(r"[A-Za-z]*", tok[3]).group(0).lower()
    return "f" in prefix or "t" in prefix


def mutate(rng, text, toks):
    """One edit of the text; returns (new text, what was done) or None when the edit does not apply."""
    code = [t for t in toks if t[0] not in (tokenize.NL, tokenize.COMMENT, tokenize.NEWLINE)]
    if not code:
        return None
    kind = rng.choice(["drop", "drop", "duplicate", "swap", "keyword", "operator", "operator", "stray", "backslash",
                       "cut", "fstring", "fstring", "unbalance", "comma"])
    t = rng.choice(code)
    _, s, e, string = t
    string_shown = string if len(string) <= 40 else string[:37] + "..."
    if kind == "drop":
        return text[:s] + text[e:], f"drop {string_shown!r}"
    if kind == "duplicate":
        return text[:e] + " " + string + text[e:], f"duplicate {string_shown!r}"
    if kind == "swap":
        i = code.index(t)
        if i + 1 >= len(code):
            return None
        u = code[i + 1]
        if text[e:u[1]].count("\n"):
            return None
        return text[:s] + u[3] + text[e:u[1]] + string + text[u[2]:], f"swap {string_shown!r} {u[3]!r}"
    if kind == "keyword":
        word = rng.choice(KEYWORDS)
        at = rng.choice([s, e])
        return text[:at] + " " + word + " " + text[at:], f"keyword {word!r} at {at}"
    if kind == "operator":
        op = rng.choice(OPERATORS)
        if rng.random() < 0.5:
            return text[:s] + op + text[e:], f"replace {string_shown!r} by {op!r}"
        return text[:e] + op + text[e:], f"insert {op!r} after {string_shown!r}"
    if kind == "stray":
        ch = rng.choice(STRAY)
        at = rng.choice([s, e])
        return text[:at] + ch + text[at:], f"stray {ch!r} at {at}"
    if kind == "backslash":
        after = rng.choice(AFTER_BACKSLASH)
        return text[:e] + " \\" + after + text[e:], f"backslash {after!r} after {string_shown!r}"
    if kind == "cut":
        return text[:e], f"cut after {string_shown!r}"
    if kind == "unbalance":
        brackets = [x for x in code if x[3] in "()[]{}"]
        if not brackets:
            return None
        b = rng.choice(brackets)
        return text[:b[1]] + text[b[2]:], f"drop bracket {b[3]!r} at {b[1]}"
    if kind == "comma":
        commas = [x for x in code if x[3] == ","]
        if not commas:
            return None
        c = rng.choice(commas)
        return text[:c[1]] + text[c[2]:], f"drop comma at {c[1]}"
    # fstring: an edit inside an f-string (or a string made into one).
    strings = [x for x in code if is_fstring(x)] or [x for x in code if x[0] == tokenize.STRING]
    if not strings:
        return None
    f = rng.choice(strings)
    body = f[3]
    if not is_fstring(f):
        body = "f" + body
    quote_end = len(re.match(r"[A-Za-z]*('''|\"\"\"|'|\")", body).group(0))
    closer = len(body) - (quote_end - len(re.match(r"[A-Za-z]*", body).group(0)))
    if closer <= quote_end:
        return None
    fields = [m.start() for m in re.finditer(r"\{", body[quote_end:closer])]
    if fields and rng.random() < 0.6:
        # Inside an existing field: after its expression, before its closing brace.
        open_at = quote_end + rng.choice(fields)
        close_at = body.find("}", open_at)
        at = close_at if close_at > open_at and rng.random() < 0.7 else open_at + 1
    else:
        at = rng.randint(quote_end, closer)
    edit = rng.choice(FIELD_EDITS)
    new = body[:at] + edit + body[at:]
    return text[:f[1]] + new + text[f[2]:], f"fstring {edit!r} at {at} of {f[3][:30]!r}"


def source_files():
    files = sorted(glob.glob("/usr/lib/python3.11/**/*.py", recursive=True))
    pyenv = os.environ.get("PYENV_ROOT", os.path.expanduser("~/.pyenv"))
    stdlibs = sorted(glob.glob(os.path.join(pyenv, "versions", "*", "lib", "python3.*")),
                     key=lambda p: [int(x) for x in re.findall(r"\d+", os.path.basename(p))])
    if stdlibs:
        files += sorted(glob.glob(os.path.join(stdlibs[-1], "**", "*.py"), recursive=True))
    files += sorted(glob.glob(os.path.join(SAMPLES, "*.py")))
    return [f for f in files if "site-packages" not in f and os.path.isfile(f)]


def read_text(path):
    try:
        with open(path, "rb") as fh:
            data = fh.read()
        if b"\0" in data or len(data) > 400_000:
            return None
        text = data.decode("utf-8")
    except (OSError, UnicodeDecodeError):
        return None
    # A coding cookie would make the two oracles read the text differently.
    head = "\n".join(text.splitlines()[:2])
    if re.search(r"^[ \t\f]*#.*?coding[:=]", head, re.M):
        return None
    return text.removeprefix("\ufeff")


def make_mutant(rng, files, cache):
    while True:
        path = rng.choice(files)
        if path not in cache:
            text = read_text(path)
            cache[path] = (text, top_level_chunks(text) if text else [])
        text, chunks = cache[path]
        if not chunks:
            continue
        i = rng.randrange(len(chunks))
        j = min(len(chunks), i + rng.randint(1, 3))
        lines = text.splitlines(keepends=True)
        start, end = chunks[i][0], chunks[j - 1][1]
        if end - start > 120:
            continue
        chunk = "".join(lines[start - 1:end]).rstrip() + "\n"
        done = []
        for _ in range(1 if rng.random() < 0.8 else 2):
            toks = tokens_of(chunk)
            if toks is None:
                break
            result = mutate(rng, chunk, toks)
            if result is None:
                continue
            chunk, what = result
            done.append(what)
        if done:
            where = f"{os.path.relpath(path, '/')}:{start}-{end}"
            return chunk, where + " " + "; ".join(done)


def failing_mutants(output):
    return set(re.findall(r"mutant_\d{5}\.py", output))


def run(binary, test_filter, scratch):
    env = dict(os.environ, NORVEX_PYAST_ORACLE_EXTRA=scratch)
    proc = subprocess.run([binary, f"--gtest_filter={test_filter}"], env=env, capture_output=True, text=True,
                          errors="replace")
    return proc.returncode, proc.stdout + proc.stderr


def main():
    args = sys.argv[1:]
    keep, min_agreement = None, 1.0
    if "--keep" in args:
        i = args.index("--keep")
        keep = args[i + 1]
        del args[i:i + 2]
    if "--min-agreement" in args:
        i = args.index("--min-agreement")
        min_agreement = float(args[i + 1])
        del args[i:i + 2]
    parser_binary, compile_binary = args[0], args[1]
    count = int(args[2]) if len(args) > 2 else 300
    seed = int(args[3]) if len(args) > 3 else 314
    files = source_files()
    if not files:
        print("no Python sources to mutate")
        return 1
    rng = random.Random(seed)
    scratch_owner = None
    if keep:
        os.makedirs(keep, exist_ok=True)
        scratch = keep
    else:
        scratch_owner = tempfile.TemporaryDirectory(prefix="pyast_mutants_")
        scratch = scratch_owner.name
    cache = {}
    manifest = []
    for n in range(count):
        text, what = make_mutant(rng, files, cache)
        name = f"mutant_{n:05d}.py"
        with open(os.path.join(scratch, name), "w", encoding="utf-8", newline="") as fh:
            fh.write(text)
        manifest.append(f"{name}\t{what}")
    with open(os.path.join(scratch, "manifest.tsv"), "w", encoding="utf-8") as fh:
        fh.write("\n".join(manifest) + "\n")
    print(f"{count} mutants (seed {seed}) in {scratch}")
    status = 0
    for label, binary, test_filter in (("parse", parser_binary, "ParserOracle.*"),
                                       ("compile check", compile_binary,
                                        "CompileOracle.parser_samples_match_the_live_answers")):
        code, output = run(binary, test_filter, scratch)
        bad = failing_mutants(output)
        agree = count - len(bad)
        print(f"{label}: {agree}/{count} mutants agree on message, line and offset ({100.0 * agree / count:.2f}%)")
        for name in sorted(bad):
            print(f"  {name}: {manifest[int(name[7:12])].split(chr(9), 1)[1]}")
        if agree < min_agreement * count:
            status = 1
        # A failure on the fixed samples (not a mutant) fails the run too.
        if code != 0 and not bad:
            print(output[-4000:])
            status = 1
    if status != 0:
        print("details: run the binaries with NORVEX_PYAST_ORACLE_EXTRA=<the mutant folder> (see --keep)")
    if scratch_owner:
        scratch_owner.cleanup()
    return status


if __name__ == "__main__":
    sys.exit(main())
