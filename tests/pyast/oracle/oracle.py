# The Python side of oracle.mjs: parses each file and emits one JSON line per file.
import ast
import io
import json
import tokenize
import warnings

# ast.parse reports invalid escapes and the like as SyntaxWarnings on stderr;
# they are no part of the tree or the error.
warnings.simplefilter("ignore")

ATTRS = ("lineno", "col_offset", "end_lineno", "end_col_offset")


def error_of(e):
    def num(name):
        v = getattr(e, name, None)
        return v if isinstance(v, int) else None
    return {"type": type(e).__name__, "msg": getattr(e, "msg", None) or str(e), "lineno": num("lineno"),
            "offset": num("offset"), "end_lineno": num("end_lineno"), "end_offset": num("end_offset")}


def const_json(v):
    # Strings travel as the hex of their generalised UTF-8, so lone surrogates survive JSON.
    if v is None: return {"t": "None"}
    if v is True: return {"t": "True"}
    if v is False: return {"t": "False"}
    if v is Ellipsis: return {"t": "Ellipsis"}
    if isinstance(v, int): return {"t": "int", "v": str(v)}
    if isinstance(v, float): return {"t": "float", "v": v.hex()}
    if isinstance(v, complex): return {"t": "complex", "v": v.imag.hex()}
    if isinstance(v, str): return {"t": "str", "v": v.encode("utf-8", "surrogatepass").hex()}
    if isinstance(v, bytes): return {"t": "bytes", "v": v.hex()}
    raise TypeError(type(v).__name__)


def tree_json(node):
    if isinstance(node, list):
        return [tree_json(x) for x in node]
    if node is None:
        return None
    if isinstance(node, (ast.expr_context, ast.operator, ast.boolop, ast.unaryop, ast.cmpop)):
        return type(node).__name__
    if not isinstance(node, ast.AST):
        if isinstance(node, str):
            return node.encode("utf-8", "surrogatepass").hex()
        return node
    out = {"_type": type(node).__name__}
    for name in node._fields:
        v = getattr(node, name, None)
        if name in ("value", "str") and isinstance(node, (ast.Constant, ast.MatchSingleton, ast.Interpolation)) \
                and not isinstance(v, ast.AST):
            out[name] = const_json(v)
        else:
            out[name] = tree_json(v)
    if node._attributes:
        out["_pos"] = [getattr(node, a, 0) for a in ATTRS]
    return out


def services(tree, source):
    # Positions count in the decoded text (a BOM dropped, a coding cookie
    # applied), so segments are cut from it; when it differs from the file's
    # bytes it travels along as "source".
    encoding, _ = tokenize.detect_encoding(io.BytesIO(source).readline)
    text = source.decode(encoding)
    utf8 = text.encode("utf-8", "surrogatepass")
    # Operators and contexts are leaves here but not nodes in norvex, so
    # leaving them out keeps the walk order of the rest.
    leaves = (ast.expr_context, ast.operator, ast.boolop, ast.unaryop, ast.cmpop)
    nodes = [n for n in ast.walk(tree) if not isinstance(n, leaves)]
    docs = []
    for n in nodes:
        if isinstance(n, (ast.Module, ast.ClassDef, ast.FunctionDef, ast.AsyncFunctionDef)):
            d = ast.get_docstring(n)
            docs.append(None if d is None else d.encode("utf-8", "surrogatepass").hex())
    # get_source_segment splits the whole source on every call, so a big file
    # gets an even sample of about 400 nodes: [walk index, segment] pairs.
    step = max(1, len(nodes) // 400)
    segments = []
    for i in range(0, len(nodes), step):
        s = ast.get_source_segment(text, nodes[i])
        segments.append([i, None if s is None else s.encode("utf-8", "surrogatepass").hex()])
    extra = {} if utf8 == source else {"source": utf8.hex()}
    return extra | {"tree": tree_json(tree), "walk": [type(n).__name__ for n in nodes], "docstrings": docs,
            "segments": segments, "dump_plain": ast.dump(tree, indent=2),
            "dump_flat": ast.dump(tree, include_attributes=True)}


def no_position_error(e):
    return {"type": type(e).__name__, "msg": str(e), "lineno": None, "offset": None, "end_lineno": None,
            "end_offset": None}


def process(p, host, mode):
    """The JSON line for one file."""
    try:
        with open(host, "rb") as fh:
            source = fh.read()
    except OSError as e:
        return json.dumps({"path": p, "error": no_position_error(e)})
    try:
        tree = ast.parse(source)
    except (SyntaxError, ValueError, MemoryError, RecursionError) as e:
        return json.dumps({"path": p, "error": error_of(e)})
    try:
        rec = {"path": p, "dump": ast.dump(tree, indent=2, include_attributes=(mode != "dump-plain"))}
        if mode == "services":
            rec.update(services(tree, source))
    except (RecursionError, MemoryError) as e:
        # Deep trees exhaust pyodide's smaller stack after a successful parse:
        # a limit of the oracle, not a property of the source.
        return json.dumps({"path": p, "error": no_position_error(e)})
    return json.dumps(rec)
