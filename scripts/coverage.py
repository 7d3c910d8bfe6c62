#!/usr/bin/env python3
"""Line coverage per top folder from a gcov build (make coverage).

  scripts/coverage.py build-cov [--json out.json]

Reads every .gcda under the build folder with gcov's JSON output and counts,
for each engine source file, the lines that have code and the lines that
ran. The total for the engine leaves out the tests, the benchmarks and the
generator tools.
"""
import argparse
import collections
import gzip
import json
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NOT_ENGINE = ('tests', 'bench', 'tools', 'fuzz')


def gcov_json(gcdas):
    """gcov's JSON records for a batch of counter files."""
    p = subprocess.run(['gcov', '--json-format', '--stdout'] + gcdas, capture_output=True,
                       cwd=ROOT)
    out = p.stdout
    for chunk in out.decode(errors='replace').splitlines():
        chunk = chunk.strip()
        if chunk.startswith('{'):
            yield json.loads(chunk)


def counter_files(build):
    """Every .gcda file under the build folder."""
    return [os.path.abspath(os.path.join(base, n)) for base, _, names in os.walk(build)
            for n in names if n.endswith('.gcda')]


def line_counts(gcdas):
    """(source file relative to the top folder, line, times run) for every line
    with code that the counter files know, leaving out files outside the tree."""
    for i in range(0, len(gcdas), 40):
        for rec in gcov_json(gcdas[i:i + 40]):
            for f in rec.get('files', []):
                path = os.path.normpath(os.path.join(rec.get('current_working_directory', ROOT),
                                                     f['file']))
                rel = os.path.relpath(path, ROOT)
                if rel.startswith('..') or rel.startswith('build'):
                    continue
                for ln in f['lines']:
                    yield rel, ln['line_number'], ln['count']


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('build')
    ap.add_argument('--json', help='also write the figures per file here')
    args = ap.parse_args()
    gcdas = counter_files(args.build)
    if not gcdas:
        sys.exit('no .gcda files: run the tests of a --coverage build first')
    lines = collections.defaultdict(dict)  # file -> line -> ran
    for rel, n, count in line_counts(gcdas):
        lines[rel][n] = lines[rel].get(n, False) or count > 0
    per_folder = collections.defaultdict(lambda: [0, 0])
    per_file = {}
    for rel, seen in lines.items():
        folder = rel.split(os.sep)[0]
        ran = sum(seen.values())
        per_file[rel] = [ran, len(seen)]
        per_folder[folder][0] += ran
        per_folder[folder][1] += len(seen)
    engine = [0, 0]
    print(f'{"folder":12s} {"lines":>7s} {"ran":>7s} {"cover":>7s}')
    for folder, (ran, total) in sorted(per_folder.items()):
        print(f'{folder:12s} {total:7d} {ran:7d} {100.0 * ran / max(1, total):6.1f}%')
        if folder not in NOT_ENGINE:
            engine[0] += ran
            engine[1] += total
    print(f'{"engine":12s} {engine[1]:7d} {engine[0]:7d} {100.0 * engine[0] / max(1, engine[1]):6.1f}%')
    if args.json:
        json.dump({'folders': per_folder, 'files': per_file, 'engine': engine},
                  open(args.json, 'w'), indent=1)


if __name__ == '__main__':
    main()
