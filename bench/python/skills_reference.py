"""The skill creator's file work done the plain Python way, for bench/run_skills.sh.

Written from the documented behaviour (not any existing implementation):
json.loads of each "*.json" file into a dataclass, a listing dictionary per
file, and a creation that validates, writes the skill file with json.dumps
(indent 2) and rewrites the whole improvement log. Files are written with
Path.write_text, neither atomically nor flushed to disk.
"""
import json
import re
import statistics
import sys
import tempfile
import time
from dataclasses import asdict, dataclass, field
from pathlib import Path

SAVED = 1000
PLACEHOLDER = re.compile(r"\{\{(\w+)\}\}")


@dataclass
class Blueprint:
    name: str
    description: str
    app: str
    category: str
    triggers: list
    required_params: list
    optional_params: list
    steps: list
    reason: str = ""
    version: int = 1


@dataclass
class Entry:
    timestamp: str
    action: str
    skill_name: str
    reason: str
    details: dict = field(default_factory=dict)
    success: bool = True


def blueprint(name):
    return Blueprint(name, "Send an email to someone", "thunderbird", "email", ["email", "mail"], ["to"],
                     ["subject"],
                     [{"operation": "open_app", "description": "Open the mail app", "params": {"name": "thunderbird"}},
                      {"operation": "keyboard_type", "description": "Type {{to}}",
                       "params": {"text": "{{to}}: {{subject}}"}, "wait_after": 0.5}],
                     "the user mails a lot")


def load(skills_dir):
    out = []
    for path in sorted(skills_dir.glob("*.json")):
        try:
            data = json.loads(path.read_text())
            out.append(Blueprint(data.get("name", path.stem), data.get("description", ""), data.get("app", ""),
                                 data.get("category", "custom"), data.get("triggers", []),
                                 data.get("required_params", []), data.get("optional_params", []),
                                 data.get("steps", []), data.get("reason", ""), data.get("version", 1)))
        except Exception:
            pass
    return out


def listing(skills_dir):
    out = []
    for path in sorted(skills_dir.glob("*.json")):
        try:
            data = json.loads(path.read_text())
            out.append({"name": data.get("name", path.stem), "description": data.get("description", ""),
                        "app": data.get("app", ""), "category": data.get("category", "custom"),
                        "version": data.get("version", 1), "triggers": data.get("triggers", []),
                        "steps_count": len(data.get("steps", [])), "reason": data.get("reason", ""),
                        "file": str(path)})
        except Exception:
            pass
    return out


def create(skills_dir, log_path, log, b):
    declared = set(b.required_params) | set(b.optional_params)
    for step in b.steps:
        for value in step.get("params", {}).values():
            if isinstance(value, str) and "{{" in value:
                [m for m in PLACEHOLDER.findall(value) if m not in declared]
    path = skills_dir / f"{b.name}.json"
    if path.exists():
        b.version = json.loads(path.read_text()).get("version", 1) + 1
    path.write_text(json.dumps(asdict(b), indent=2))
    log.append(Entry(time.strftime("%Y-%m-%d %H:%M:%S"), "created", b.name, b.reason,
                     {"version": b.version, "steps": len(b.steps), "category": b.category, "app": b.app,
                      "triggers": b.triggers}))
    log_path.write_text(json.dumps([asdict(e) for e in log], indent=2))


def timed(fn, repeats):
    samples = []
    for _ in range(repeats):
        start = time.perf_counter()
        fn()
        samples.append(time.perf_counter() - start)
    return statistics.median(samples)


def main():
    with tempfile.TemporaryDirectory(prefix="norvex_skills_py_") as tmp:
        skills_dir = Path(tmp) / "skills"
        skills_dir.mkdir()
        for i in range(SAVED):
            b = blueprint(f"skill_{i}")
            (skills_dir / f"{b.name}.json").write_text(json.dumps(asdict(b), indent=2))
        assert len(load(skills_dir)) == SAVED and len(listing(skills_dir)) == SAVED
        print(f"python load_saved_skills, {SAVED} skills: {timed(lambda: load(skills_dir), 20) * 1e3:.1f} ms (median of 20)")
        print(f"python list_saved_skills, {SAVED} skills: {timed(lambda: listing(skills_dir), 20) * 1e3:.1f} ms (median of 20)")
        for seeded in (0, 1000):
            fresh = Path(tmp) / f"create_{seeded}"
            (fresh / "skills").mkdir(parents=True)
            log = [Entry("t", "learned", "seed", "an earlier entry") for _ in range(seeded)]
            counter = iter(range(10**9))
            per = timed(lambda: create(fresh / "skills", fresh / "improvement_log.json", log,
                                       blueprint(f"new_skill_{next(counter)}")), 200)
            print(f"python create_skill with a log of {seeded}+ entries: {per * 1e6:.0f} us (median of 200)")


if __name__ == "__main__":
    sys.exit(main())
