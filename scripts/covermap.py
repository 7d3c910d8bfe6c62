#!/usr/bin/env python3
"""Which test program runs which source lines, from a gcov build (make coverage).

  scripts/covermap.py build-cov covermap.json

Runs each test program's cases (each case in its own process, as CTest does)
with the counters cleared before every program, and writes
{program: {source file: [lines that ran]}}. The mutation pass uses it to run
a mutant only against the programs that reach its line.
"""
import concurrent.futures
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from coverage import counter_files, line_counts  # noqa: E402


def run_case(test):
    props = {p['name']: p['value'] for p in test.get('properties', [])}
    env = dict(os.environ)
    env.update(v.split('=', 1) for v in props.get('ENVIRONMENT', []))
    try:
        subprocess.run(test['command'], cwd=props.get('WORKING_DIRECTORY'), env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=props.get('TIMEOUT', 600), start_new_session=True)
    except subprocess.TimeoutExpired:
        pass


def covered(build):
    lines = {}
    for rel, n, count in line_counts(counter_files(build)):
        if count > 0 and not rel.startswith(('tests/', 'bench/')):
            lines.setdefault(rel, set()).add(n)
    return {f: sorted(v) for f, v in lines.items() if v}


def main():
    build, out = os.path.abspath(sys.argv[1]), sys.argv[2]
    tests = json.loads(subprocess.run(['ctest', '--show-only=json-v1'], cwd=build,
                                      capture_output=True, text=True, check=True).stdout)
    by_program = {}
    for t in tests['tests']:
        if t.get('command'):
            by_program.setdefault(os.path.basename(t['command'][0]), []).append(t)
    result = {}
    for program, cases in sorted(by_program.items()):
        if not program.startswith('test_'):
            continue
        for f in counter_files(build):
            os.remove(f)
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as ex:
            list(ex.map(run_case, cases))
        result[program] = covered(build)
        print(f'{program}: {len(cases)} cases, {sum(map(len, result[program].values()))} lines')
    json.dump(result, open(out, 'w'))


if __name__ == '__main__':
    main()
