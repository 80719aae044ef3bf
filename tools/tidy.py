#!/usr/bin/env python3
"""Runs clang-tidy over the sources named on stdin, a few at a time, on the
compile commands of a built build tree; exits 1 when any file has a finding.

A full run costs minutes (every file parses Qt and GoogleTest headers), so a
file found clean is remembered under a key made of everything that can change
the result: clang-tidy's version, the .clang-tidy files, the file's compile
commands, and the path and content of the file and of every header that its
last compile read (ninja's dependency log). A file with a finding, or one
that ninja has no valid dependencies for, is checked every time.
"""

import argparse
import concurrent.futures
import hashlib
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

# Lines that clang-tidy prints on every run, findings or not: left out.
NOISE = ("warnings generated", "Suppressed ", "Use -header-filter", "warnings treated as errors")
KEEP_DAYS = 14


def ninja_sources(build):
    """Source path -> the files its compiles read, None when ninja's log is stale."""
    log = subprocess.run(["ninja", "-C", build, "-t", "deps"], check=True,
                         capture_output=True, text=True).stdout
    sources = {}
    for entry in log.split("\n\n"):
        lines = entry.splitlines()
        if len(lines) < 2:
            continue
        files = [os.path.realpath(os.path.join(build, p.strip())) for p in lines[1:]]
        source = files[0]
        if not lines[0].rstrip().endswith("(VALID)") or sources.get(source, ()) is None:
            sources[source] = None
        else:
            sources.setdefault(source, set()).update(files)
    return sources


class Keys:
    def __init__(self, build):
        self.digests = {}
        self.sources = ninja_sources(build)
        self.commands = {}
        with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
            for c in json.load(f):
                path = os.path.realpath(os.path.join(c["directory"], c["file"]))
                self.commands.setdefault(path, []).append(json.dumps(c, sort_keys=True))
        base = hashlib.sha256()
        version = subprocess.run(["clang-tidy", "--version"], check=True,
                                 capture_output=True).stdout
        base.update(version)
        tracked = subprocess.run(["git", "ls-files"], check=True, capture_output=True,
                                 text=True).stdout.splitlines()
        for config in sorted(p for p in tracked if Path(p).name == ".clang-tidy"):
            base.update(config.encode() + b"\0" + Path(config).read_bytes())
        self.base = base

    def digest(self, path):
        if path not in self.digests:
            try:
                self.digests[path] = hashlib.sha256(Path(path).read_bytes()).digest()
            except OSError:
                self.digests[path] = b"missing"
        return self.digests[path]

    def key(self, source):
        path = os.path.realpath(source)
        files = self.sources.get(path)
        if not files:
            return None
        h = self.base.copy()
        for command in sorted(self.commands.get(path, [])):
            h.update(command.encode() + b"\0")
        for f in sorted(files):
            h.update(f.encode() + b"\0" + self.digest(f))
        return h.hexdigest()


def check(build, source):
    run = subprocess.run(["clang-tidy", "-p", build, "--quiet", source],
                         capture_output=True, text=True)
    said = [l for l in (run.stdout + run.stderr).splitlines()
            if l.strip() and not any(n in l for n in NOISE)]
    return run.returncode, said


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("-j", "--jobs", type=int, default=2)
    args = parser.parse_args()
    if not shutil.which("clang-tidy"):
        print("clang-tidy is not installed (tools/setup.sh installs it)", file=sys.stderr)
        return 2
    sources = [l.strip() for l in sys.stdin if l.strip()]
    keys = Keys(args.build)
    cache = Path(args.build) / "tidy-clean"  # one empty file per clean key
    cache.mkdir(exist_ok=True)

    todo = []
    for source in sources:
        k = keys.key(source)
        if k and (cache / k).exists():
            (cache / k).touch()
        else:
            todo.append((source, k))

    failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        runs = {pool.submit(check, args.build, s): (s, k) for s, k in todo}
        for done in concurrent.futures.as_completed(runs):
            source, k = runs[done]
            status, said = done.result()
            if said:
                print("\n".join(said), flush=True)
            if status == 0:
                if k:
                    (cache / k).touch()
                continue
            failed += 1
            if not said:
                print(f"{source}: clang-tidy exited with {status}", flush=True)

    # Marks of other branches and older states stay a while, then go.
    for mark in cache.iterdir():
        if time.time() - mark.stat().st_mtime > KEEP_DAYS * 86400:
            mark.unlink()
    print(f"clang-tidy: {len(sources)} files, {len(sources) - len(todo)} unchanged since "
          f"found clean, {len(todo)} checked, {failed} with findings")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
