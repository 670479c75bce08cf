#!/usr/bin/env python3
"""The astprobe analyses written in plain Python on the standard library's ast module.

Tests compare the C++ worker's answers with this script's; the benchmarks
time the two side by side. Run as a program it serves the same line
protocol as astprobe: one JSON command per input line, one answer per line.
"""
import ast
import json
import os
import re
import signal
import sys
from pathlib import Path

MARKER = re.compile(r"#\s*(TODO|FIXME|HACK|XXX|NOTE|BUG)\b[:\s]*(.*)", re.IGNORECASE)


def parse_file(path):
    try:
        resolved = Path(os.path.expanduser(path)).resolve()
        if not resolved.exists():
            return None, "", f"File not found: {path}"
        data = resolved.read_bytes()
        if data.startswith(b"\xef\xbb\xbf"):
            data = data[3:]
        source = data.decode("utf-8", errors="replace").replace("\r\n", "\n").replace("\r", "\n")
        if "\0" in source:
            line = source.count("\n", 0, source.index("\0")) + 1
            return None, "", f"Syntax error at line {line}: source code string cannot contain null bytes"
        return ast.parse(source), source, None
    except SyntaxError as e:
        return None, "", f"Syntax error at line {e.lineno}: {e.msg}"
    except Exception as e:  # noqa: BLE001 - every failure becomes its text
        return None, "", str(e)


def _segment(source, node):
    if node is None:
        return ""
    return ast.get_source_segment(source, node) or ""


def find_functions(tree, source):
    methods = set()
    for node in ast.walk(tree):
        if isinstance(node, ast.ClassDef):
            methods.update(id(s) for s in node.body if isinstance(s, (ast.FunctionDef, ast.AsyncFunctionDef)))
    out = []
    for node in ast.walk(tree):
        if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)):
            out.append({
                "name": node.name,
                "type": "async_function" if isinstance(node, ast.AsyncFunctionDef) else "function",
                "line": node.lineno,
                "end_line": node.end_lineno,
                "args": [{"name": a.arg, "annotation": _segment(source, a.annotation)} for a in node.args.args],
                "return_type": _segment(source, node.returns),
                "decorators": [_segment(source, d) for d in node.decorator_list],
                "docstring": (ast.get_docstring(node) or "")[:200],
                "is_method": id(node) in methods,
            })
    return out


def find_classes(tree, source):
    out = []
    for node in ast.walk(tree):
        if isinstance(node, ast.ClassDef):
            methods = [s.name for s in node.body if isinstance(s, (ast.FunctionDef, ast.AsyncFunctionDef))]
            attributes = [t.id for s in node.body if isinstance(s, ast.Assign)
                          for t in s.targets if isinstance(t, ast.Name)]
            out.append({
                "name": node.name,
                "line": node.lineno,
                "end_line": node.end_lineno,
                "bases": [_segment(source, b) for b in node.bases],
                "methods": methods,
                "attributes": attributes,
                "docstring": (ast.get_docstring(node) or "")[:200],
                "method_count": len(methods),
            })
    return out


def find_imports(tree):
    out = []
    for node in ast.walk(tree):
        if isinstance(node, ast.Import):
            for a in node.names:
                out.append({"module": a.name, "alias": a.asname, "line": node.lineno, "type": "import"})
        elif isinstance(node, ast.ImportFrom):
            for a in node.names:
                out.append({"module": node.module or "", "name": a.name, "alias": a.asname,
                            "line": node.lineno, "type": "from_import"})
    return out


def extract_symbols(tree):
    symbols = {"functions": [], "classes": [], "variables": [], "constants": []}
    for node in ast.iter_child_nodes(tree):
        if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)):
            symbols["functions"].append({"name": node.name, "line": node.lineno})
        elif isinstance(node, ast.ClassDef):
            symbols["classes"].append({"name": node.name, "line": node.lineno})
        elif isinstance(node, ast.Assign):
            for t in node.targets:
                if isinstance(t, ast.Name):
                    key = "constants" if t.id.isupper() else "variables"
                    symbols[key].append({"name": t.id, "line": node.lineno})
    return symbols


def _rating(c):
    return "A" if c <= 5 else "B" if c <= 10 else "C" if c <= 20 else "F"


def calculate_complexity(tree):
    out = []
    for node in ast.walk(tree):
        if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)):
            c = 1
            for child in ast.walk(node):
                if isinstance(child, (ast.If, ast.While, ast.For, ast.AsyncFor)):
                    c += 1
                elif isinstance(child, ast.ExceptHandler):
                    c += 1
                elif isinstance(child, ast.BoolOp):
                    c += len(child.values) - 1
                elif isinstance(child, ast.Assert):
                    c += 1
                elif isinstance(child, (ast.ListComp, ast.SetComp, ast.DictComp, ast.GeneratorExp)):
                    c += 1
            out.append({"name": node.name, "line": node.lineno, "complexity": c, "rating": _rating(c)})
    return out


def build_call_graph(tree):
    graph = {}
    for node in ast.walk(tree):
        if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)):
            calls = set()
            for child in ast.walk(node):
                if isinstance(child, ast.Call):
                    if isinstance(child.func, ast.Name):
                        calls.add(child.func.id)
                    elif isinstance(child.func, ast.Attribute):
                        calls.add(child.func.attr)
            graph[node.name] = sorted(calls)
    return graph


def find_todos(source):
    out = []
    for number, line in enumerate(source.splitlines(), 1):
        m = MARKER.search(line)
        if m:
            out.append({"line": number, "type": m.group(1).upper(), "text": m.group(2).strip()})
    return out


def summarize_file(path, tree, source):
    lines = source.splitlines()
    functions = find_functions(tree, source)
    classes = find_classes(tree, source)
    imports = find_imports(tree)
    todos = find_todos(source)
    complexity = calculate_complexity(tree)
    comment_lines = sum(1 for l in lines if l.strip().startswith("#"))
    blank_lines = sum(1 for l in lines if not l.strip())
    avg = round(sum(c["complexity"] for c in complexity) / len(complexity), 1) if complexity else 0
    return {
        "path": path,
        "total_lines": len(lines),
        "code_lines": len(lines) - comment_lines - blank_lines,
        "comment_lines": comment_lines,
        "blank_lines": blank_lines,
        "module_docstring": (ast.get_docstring(tree) or "")[:300],
        "function_count": len(functions),
        "class_count": len(classes),
        "import_count": len(imports),
        "todo_count": len(todos),
        "avg_complexity": avg,
        "functions": [{"name": f["name"], "line": f["line"]} for f in functions],
        "classes": [{"name": c["name"], "line": c["line"], "methods": c["method_count"]} for c in classes],
        "top_imports": [i["module"] for i in imports[:10]],
    }


def full_analysis(path):
    tree, source, error = parse_file(path)
    if error:
        return {"success": False, "error": error}
    return {"success": True, "result": {
        "summary": summarize_file(path, tree, source),
        "functions": find_functions(tree, source),
        "classes": find_classes(tree, source),
        "imports": find_imports(tree),
        "todos": find_todos(source),
        "complexity": calculate_complexity(tree),
        "symbols": extract_symbols(tree),
        "call_graph": build_call_graph(tree),
    }}


def _json_type(v):
    if isinstance(v, dict):
        return "an object"
    if isinstance(v, list):
        return "an array"
    if isinstance(v, str):
        return "a string"
    if isinstance(v, bool):
        return "a boolean"
    if v is None:
        return "null"
    return "a number"


def handle_command(cmd):
    action = cmd.get("action", "")
    if not isinstance(action, str):
        return {"success": False, "error": f'Invalid command: "action" must be a string, not {_json_type(action)}'}
    if action == "quit":
        return {"success": True, "result": "goodbye"}
    path = cmd.get("path", "")
    if not isinstance(path, str):
        return {"success": False, "error": f'Invalid command: "path" must be a string, not {_json_type(path)}'}
    if action == "analyze":
        return full_analysis(path)
    tree, source, error = parse_file(path)
    if error:
        return {"success": False, "error": error}
    handlers = {
        "parse_ast": lambda: {"ast": ast.dump(tree, indent=2)[:5000]},
        "find_functions": lambda: find_functions(tree, source),
        "find_classes": lambda: find_classes(tree, source),
        "find_imports": lambda: find_imports(tree),
        "find_todos": lambda: find_todos(source),
        "complexity": lambda: calculate_complexity(tree),
        "symbols": lambda: extract_symbols(tree),
        "call_graph": lambda: build_call_graph(tree),
        "summarize": lambda: summarize_file(path, tree, source),
    }
    handler = handlers.get(action)
    if handler is None:
        return {"success": False, "error": f"Unknown action: {action}"}
    try:
        return {"success": True, "result": handler()}
    except Exception as e:  # noqa: BLE001
        return {"success": False, "error": str(e)}


def main():
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    for line in sys.stdin:
        line = line.strip()
        if not line:
            continue
        try:
            cmd = json.loads(line)
        except json.JSONDecodeError as e:
            answer = {"success": False, "error": f"Invalid JSON: {e}"}
            cmd = None
        else:
            if isinstance(cmd, dict):
                answer = handle_command(cmd)
            else:
                answer = {"success": False, "error": f"Invalid command: expected a JSON object, not {_json_type(cmd)}"}
        print(json.dumps(answer), flush=True)
        if isinstance(cmd, dict) and cmd.get("action") == "quit":
            break


if __name__ == "__main__":
    main()
