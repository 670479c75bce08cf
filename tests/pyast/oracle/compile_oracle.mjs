// CPython 3.14 (pyodide) as a reference for compile checks: what compile(text, name, "exec") raises.
//
// Usage:
//   node compile_oracle.mjs [FILE...]
// With no FILE (or "-"), paths are read from stdin, one per line. Each file
// is read as UTF-8 text (a byte order mark stays in the text as U+FEFF; a
// lone surrogate in its generalised UTF-8 form, ED A0..BF xx, stays a lone
// surrogate, as a JSON "\ud800" escape gives one) and handed to compile() as
// a str under its base name. One JSON object per line
// goes to stdout, in input order:
//   {"file": NAME, "error": null, "warnings": [W...]}
//   {"file": NAME, "error": {"type": T, "msg": M, "lineno": L, "offset": O, "text": str(e)},
//    "warnings": [W...]}
// where each W is {"category": C, "msg": M, "lineno": L} for a warning
// compile() issued (SyntaxWarning and the like).
import { loadPyodide } from "pyodide";
import fs from "node:fs";
import path from "node:path";

const args = process.argv.slice(2).filter((a) => a !== "-");
const files = args.length > 0 ? args
    : fs.readFileSync(0, "utf8").split(/\r?\n/).map((l) => l.trim()).filter((l) => l !== "");

const checkSource = `
import json, warnings

def check(name, hex_bytes):
    data = bytes.fromhex(hex_bytes)
    try:
        text = data.decode("utf-8", "surrogatepass")
    except UnicodeDecodeError:
        text = data.decode("utf-8", "replace")
    out = {"file": name, "error": None, "warnings": []}
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            compile(text, name, "exec")
        except Exception as e:
            def num(attr):
                v = getattr(e, attr, None)
                return v if isinstance(v, int) else None
            out["error"] = {"type": type(e).__name__, "msg": getattr(e, "msg", None) or str(e),
                            "lineno": num("lineno"), "offset": num("offset"), "text": str(e)}
    out["warnings"] = [{"category": w.category.__name__, "msg": str(w.message), "lineno": w.lineno}
                       for w in caught]
    return json.dumps(out)
`;

const py = await loadPyodide();
const toStderr = { batched: (text) => process.stderr.write(text + "\n") };
py.setStdout(toStderr);
py.setStderr(toStderr);
py.runPython(checkSource);
const check = py.globals.get("check");
for (const f of files) {
    const hex = fs.readFileSync(f).toString("hex");
    process.stdout.write(check(path.basename(f), hex) + "\n");
}
