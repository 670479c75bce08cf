"""Runs the parser oracle test over a Python standard library folder: every module, same tree or same error as CPython 3.14.

Usage: stdlib_oracle.py TEST-BINARY STDLIB-FOLDER

pyast::parse takes UTF-8 text, so files whose coding cookie names another
codec (or a codec that does not exist) are left out: decoding them is the file
reader's job, not the parser's, and the raw bytes would be compared against
CPython's decoded text. site-packages is not the standard library and is left
out too. The kept files are linked into a scratch folder that the test binary
reads through NORVEX_PYAST_ORACLE_EXTRA.
"""
import os
import re
import subprocess
import sys
import tempfile

COOKIE = re.compile(rb"^[ \t\f]*#.*?coding[:=][ \t]*([-\w.]+)")


def declared_coding(path):
    """The coding named on line 1 or 2 (line 2 only after a comment or blank line 1), lower-cased, or None."""
    with open(path, "rb") as f:
        head = f.read(4096)
    lines = head.removeprefix(b"\xef\xbb\xbf").splitlines()[:2]
    for i, line in enumerate(lines):
        m = COOKIE.match(line)
        if m:
            return m.group(1).decode("ascii", "replace").lower().replace("_", "-")
        if i == 0 and line.strip() and not line.lstrip().startswith(b"#"):
            return None
    return None


def utf8_coding(path):
    """Whether CPython would read the file as UTF-8 without a decoding error of its own."""
    name = declared_coding(path)
    with open(path, "rb") as f:
        bom = f.read(3) == b"\xef\xbb\xbf"
    if name is None:
        return True
    # After a byte order mark CPython accepts only a cookie it normalises to utf-8.
    if name == "utf-8" or name.startswith("utf-8-"):
        return True
    return name == "utf8" and not bom


def main():
    binary, folder = sys.argv[1], os.path.abspath(sys.argv[2])
    if not os.path.isdir(folder):
        print(f"{folder} is missing; nothing to compare")
        return 0
    kept, left_out = 0, []
    with tempfile.TemporaryDirectory(prefix="pyast_stdlib_") as scratch:
        for root, dirs, files in os.walk(folder):
            dirs[:] = sorted(d for d in dirs if d != "site-packages")
            for name in sorted(files):
                if not name.endswith(".py"):
                    continue
                path = os.path.join(root, name)
                if not os.path.isfile(path):
                    continue
                if not utf8_coding(path):
                    left_out.append(path)
                    continue
                link = os.path.join(scratch, os.path.relpath(path, folder))
                os.makedirs(os.path.dirname(link), exist_ok=True)
                os.symlink(path, link)
                kept += 1
        print(f"{folder}: comparing {kept} files; left out for their coding: {len(left_out)}")
        for path in left_out:
            print(f"  {path}")
        env = dict(os.environ, NORVEX_PYAST_ORACLE_EXTRA=scratch)
        return subprocess.run([binary, "--gtest_filter=ParserOracle.*"], env=env).returncode


if __name__ == "__main__":
    sys.exit(main())
