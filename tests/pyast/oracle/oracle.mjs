// CPython 3.14 (pyodide) as a reference: ast.dump or the SyntaxError of each Python file given.
//
// Usage:
//   node oracle.mjs [--mode dump|dump-plain|services] [FILE...]
// With no FILE (or "-"), paths are read from stdin, one per line. Paths may
// be relative to the current folder. One JSON object per line goes to stdout,
// in input order:
//   {"path": P, "dump": "<ast.dump(tree, indent=2, include_attributes=True)>"}
//   {"path": P, "error": {"type": "SyntaxError", "msg": M, "lineno": L,
//                         "offset": O, "end_lineno": EL, "end_offset": EO}}
// (error positions are null where Python gives None). Types other than
// SyntaxError, IndentationError and TabError are the oracle's own limits and
// say nothing about the source: OSError kinds (unreadable file),
// RecursionError (pyodide's stack is smaller than CPython's: a chain of a
// thousand "+" already fails) and OracleCrash (deeper still: the interpreter
// died and a fresh one took over for the next file). Mode dump-plain leaves
// out the attributes; mode services adds what the tree-service tests compare
// (the tree as JSON, walk order, docstrings, source segments, and "source":
// the decoded text as hex UTF-8 when it differs from the file's bytes).
//
// The file's bytes go to ast.parse as bytes, so CPython decodes them as
// compile() does for files: a UTF-8 byte order mark is dropped; a PEP 263
// coding cookie on line 1 or 2 picks the codec (a non-UTF-8 cookie together
// with a BOM is an error); otherwise the bytes must be UTF-8. Columns in the
// dump are UTF-8 byte offsets in the decoded text, so for a file in another
// codec they count the UTF-8 re-encoding, not the file's bytes.
import { loadPyodide } from "pyodide";
import fs from "node:fs";
import path from "node:path";

const args = process.argv.slice(2);
let mode = "dump";
const files = [];
for (let i = 0; i < args.length; ++i) {
    if (args[i] === "--mode") mode = args[++i];
    else if (args[i].startsWith("--mode=")) mode = args[i].slice(7);
    else if (args[i] !== "-") files.push(args[i]);
}
if (!["dump", "dump-plain", "services"].includes(mode)) {
    process.stderr.write(`oracle: unknown mode ${mode}\n`);
    process.exit(2);
}
if (files.length === 0) {
    for (const line of fs.readFileSync(0, "utf8").split(/\r?\n/)) if (line.trim() !== "") files.push(line.trim());
}

// Symbolic links are resolved here: inside the mount an absolute link
// target would point into pyodide's own file system, not the host's.
const hostPath = (f) => {
    try {
        return "/host" + fs.realpathSync(path.resolve(f));
    } catch {
        return "/host" + path.resolve(f);
    }
};

const oracleSource = fs.readFileSync(new URL("./oracle.py", import.meta.url), "utf8");

// A Python interpreter with the host's file system under /host (so Python
// reads each file's bytes itself) and oracle.py loaded; returns its process().
async function start() {
    const py = await loadPyodide();
    // Stdout carries only the result lines: anything Python prints (the
    // stack dump of a fatal error) goes to stderr.
    const toStderr = { batched: (text) => process.stderr.write(text + "\n") };
    py.setStdout(toStderr);
    py.setStderr(toStderr);
    py.FS.mkdir("/host");
    py.FS.mount(py.FS.filesystems.NODEFS, { root: "/" }, "/host");
    py.runPython(oracleSource);
    return py.globals.get("process");
}

const noPosition = { lineno: null, offset: null, end_lineno: null, end_offset: null };
let processFile;
try {
    processFile = await start();
} catch (e) {
    process.stderr.write(`oracle: ${e.message ?? e}\n`);
    process.exit(1);
}
// Each result is written as soon as it is made: the standard library's dumps
// run to hundreds of megabytes together.
for (const f of files) {
    let line;
    try {
        line = processFile(f, hostPath(f), mode);
    } catch (e) {
        // Source nested deep enough overflows the WebAssembly stack, which
        // pyodide cannot survive: report the file and go on in a fresh interpreter.
        const msg = String(e.message ?? e).split("\n")[0];
        line = JSON.stringify({ path: f, error: { type: "OracleCrash", msg, ...noPosition } });
        processFile = await start();
    }
    writeAll(line);
}

// Stdout may be a non-blocking pipe, where one write takes at most what the
// pipe has room for (or fails with EAGAIN when it has none).
function writeAll(line) {
    const buf = Buffer.from(line + "\n", "utf8");
    let off = 0;
    while (off < buf.length) {
        try {
            off += fs.writeSync(1, buf, off, buf.length - off);
        } catch (e) {
            if (e.code !== "EAGAIN") throw e;
            Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 1);
        }
    }
}
