#!/usr/bin/env python3
"""Mutation pass over one engine source file.

Every mutant of the file is compiled at once into a single object: each
mutated spot reads which mutant is on from QV_MUT, so one build serves a
few hundred test runs. The pass works in a copy of the tree
(BUILD/src, built in BUILD/b) so the worktree and its builds never see a
mutant.

  scripts/mutate.py math/vm_mat.cpp --target test_math
  scripts/mutate.py res/chunk.cpp --target test_res --filter 'Chunk*' -n 300

Mutants: flipped comparisons and logic, swapped + and -, constants off by
one, negated conditions, dropped statements. Lines the compiler refuses
after instrumenting (constant expressions, templates) lose their mutants.
Writes BUILD/results/<file>.json and prints the kill rate, the surviving
mutants and, per test file, how many mutants its tests alone kill.

  scripts/mutate.py --report build-mut/results/*.json
lists per test the mutants it kills and those no other test kills.

  scripts/mutate.py res/chunk.cpp --target test_res -n 150 --elsewhere all \
      --ids-from build-mut/results/res_chunk.cpp.json
runs the killed mutants of a results file (or --ids 3,17) against the other
test programs, each program's cases in one process where they pass so, and
stops at the first program that kills: which mutants the rest of the suite
also catches. With --covermap (scripts/covermap.py) a mutant runs only
against the programs that reach its line.

  scripts/mutate.py --spare build-mut/results/*.json
lists the tests of the measured programs that can go together with every
killed mutant still caught, from own-program results and their --elsewhere
files.
"""
import argparse
import concurrent.futures
import json
import os
import random
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HEADER = ['#include <cstdlib>',
          'static bool qv_mut_is(int k) { static const int on = [] { const char* s = '
          'std::getenv("QV_MUT"); return s ? std::atoi(s) : -1; }(); return on == k; }']
SKIP_WORDS = re.compile(r'\b(constexpr|static_assert|case|template|operator|using|typedef|'
                        r'default|goto|enum)\b')
EXPR_STMT = re.compile(r'^\s*(\+\+|--|\*?[A-Za-z_][\w.\[\]:]*(->[\w.\[\]]+)*\s*'
                       r'(=[^=]|\+=|-=|\*=|/=|\|=|&=|\^=|<<=|>>=|\(|\+\+|--|\[))')
TEMPLATE_ARGS = re.compile(r'[A-Za-z_]\w*<[\w:\s*&,]*>(?=\s*(\(|\{|::))')


def sync_tree(dst):
    """Copies the worktree's files into the build copy, only those that differ."""
    files = subprocess.run(['git', 'ls-files', '-co', '--exclude-standard'], cwd=ROOT,
                           capture_output=True, text=True, check=True).stdout.split()
    # With BUILD/freeze-tests present the copy keeps its tests as they are, so
    # a series of runs measures one state of them while the worktree moves on.
    frozen = os.path.exists(os.path.join(os.path.dirname(dst), 'freeze-tests'))
    changed = 0
    for f in files:
        if frozen and f.startswith(('tests/', 'bench/')):
            continue
        src = os.path.join(ROOT, f)
        if not os.path.isfile(src):
            continue
        out = os.path.join(dst, f)
        data = open(src, 'rb').read()
        if os.path.exists(out) and open(out, 'rb').read() == data:
            continue
        os.makedirs(os.path.dirname(out), exist_ok=True)
        open(out, 'wb').write(data)
        changed += 1
    # Test files removed from the worktree go from the copy too.
    keep = set(files)
    for d in () if frozen else ('tests', 'bench'):
        for base, _, names in os.walk(os.path.join(dst, d)):
            for n in names:
                rel = os.path.relpath(os.path.join(base, n), dst)
                if rel not in keep:
                    os.remove(os.path.join(base, n))
                    changed += 1
    return changed


def code_mask(line):
    """Per character: True where it is code (not inside a string, char or comment)."""
    mask = [True] * len(line)
    i, quote = 0, None
    while i < len(line):
        c = line[i]
        if quote:
            mask[i] = False
            if c == '\\':
                if i + 1 < len(line):
                    mask[i + 1] = False
                i += 2
                continue
            if c == quote:
                quote = None
        elif c in '"\'':
            if c == "'" and i > 0 and line[i - 1].isalnum():  # digit separator
                i += 1
                continue
            quote = c
            mask[i] = False
        elif line.startswith('//', i):
            for j in range(i, len(line)):
                mask[j] = False
            break
        i += 1
    return mask


def balanced(s):
    depth = 0
    for c in s:
        depth += c in '([{'
        depth -= c in ')]}'
        if depth < 0:
            return False
    return depth == 0


def matching_paren(s, i):
    depth = 0
    for j in range(i, len(s)):
        depth += s[j] == '('
        depth -= s[j] == ')'
        if depth == 0:
            return j
    return -1


def top_level(s, chars):
    """Indices of chars in s at bracket depth 0."""
    depth, out = 0, []
    for i, c in enumerate(s):
        if c in '([{':
            depth += 1
        elif c in ')]}':
            depth -= 1
        elif depth == 0 and c in chars:
            out.append(i)
    return out


def expr_mutants(e, condition):
    """(description, mutated text) for one expression."""
    out = []
    mask = code_mask(e)
    blocked = set()
    for m in TEMPLATE_ARGS.finditer(e):
        blocked.update(range(m.start(), m.end()))

    def put(i, n, new, what):
        out.append((what, e[:i] + new + e[i + n:]))

    i = 0
    while i < len(e):
        if not mask[i] or i in blocked:
            i += 1
            continue
        two = e[i:i + 2]
        prev = e[:i].rstrip()[-1:] if e[:i].strip() else ''
        if two in ('<=', '>=', '==', '!=', '&&', '||'):
            swap = {'<=': '<', '>=': '>', '==': '!=', '!=': '==', '&&': '||', '||': '&&'}
            if e[i + 2:i + 3] != '=':
                put(i, 2, swap[two], f'{two} -> {swap[two]}')
            i += 2
            continue
        if two in ('<<', '>>', '->', '++', '--', '+=', '-=', '::'):
            i += 2
            continue
        c = e[i]
        if c in '<>' and e[i + 1:i + 2] != '=':
            put(i, 1, c + '=', f'{c} -> {c}=')
        elif c in '+-' and (prev.isalnum() or prev in ')]_'):
            other = '-' if c == '+' else '+'
            put(i, 1, other, f'{c} -> {other}')
        elif c in '*/' and e[i - 1:i] == ' ' and e[i + 1:i + 2] == ' ':
            other = '/' if c == '*' else '*'
            put(i, 1, other, f'{c} -> {other}')
        elif c.isdigit() and not (i > 0 and (e[i - 1].isalnum() or e[i - 1] in '_.')):
            m = re.match(r'(0[xX][0-9a-fA-F]+|\d+(\.\d*)?([eE][-+]?\d+)?)[uUlLfF]*', e[i:])
            lit = m.group(0)
            if m.group(2) or m.group(3) or lit.endswith(('f', 'F')):
                put(i, len(lit), f'({lit} + 1)', f'{lit} -> {lit} + 1')
            elif not lit.startswith(('0x', '0X')):
                n = int(re.match(r'\d+', lit).group(0))
                put(i, len(lit), str(n + 1), f'{n} -> {n + 1}')
                if n > 0:
                    put(i, len(lit), str(n - 1), f'{n} -> {n - 1}')
            i += len(lit)
            continue
        elif e.startswith('true', i) and not (e[i - 1:i].isalnum() or e[i + 4:i + 5].isalnum()):
            put(i, 4, 'false', 'true -> false')
        elif e.startswith('false', i) and not (e[i - 1:i].isalnum() or e[i + 5:i + 6].isalnum()):
            put(i, 5, 'true', 'false -> true')
        i += 1
    if condition:
        out.append(('negate condition', f'!({e})'))
    return out


def previous_code(lines, i):
    for j in range(i - 1, -1, -1):
        s = lines[j].split('//')[0].strip()
        if s:
            return s
    return ''


def line_slots(lines, i, in_comment):
    """The mutable parts of line i: (start, end, is_condition) spans, and whether
    the whole line is a statement that may be dropped."""
    raw = lines[i]
    mask = code_mask(raw)
    code = ''.join(c if m else ' ' for c, m in zip(raw, mask)).rstrip()
    s = code.strip()
    if (in_comment or not s or s.startswith(('#', '/*', '*', '}', 'else', '{')) and
            not re.match(r'^\}\s*else\s+if\b', s)):
        return [], False
    if SKIP_WORDS.search(code) or not balanced(code):
        return [], False
    prev = previous_code(lines, i)
    starts_statement = prev.endswith((';', '{', '}', ')', ':')) or prev in ('else', '') \
        or prev.endswith('else')
    slots = []
    m = re.match(r'^(\s*(?:\}\s*else\s+)?(?:if|while)\s*)\(', code)
    if m:
        end = matching_paren(code, m.end() - 1)
        if end > 0:
            slots.append((m.end(), end, True))
        return slots, False
    m = re.match(r'^(\s*for\s*)\(', code)
    if m:
        end = matching_paren(code, m.end() - 1)
        inner = code[m.end():end]
        semis = top_level(inner, ';')
        if end > 0 and len(semis) == 2 and inner[semis[0] + 1:semis[1]].strip():
            a, b = m.end() + semis[0] + 1, m.end() + semis[1]
            slots.append((a, b, True))
        return slots, False
    if not s.endswith(';') or not starts_statement:
        return [], False
    m = re.match(r'^(\s*return\s+)(.*);\s*$', code)
    if m:
        if not m.group(2).startswith('{'):
            slots.append((m.start(2), m.end(2), False))
        return slots, False
    if '[&' in code or '[=' in code or '[]' in code:
        return [], False
    body = code.rstrip()[:-1]
    for j in top_level(body, '='):
        before, after = body[j - 1:j], body[j + 1:j + 2]
        if after == '=' or before in '=!<>':
            continue
        rhs = body[j + 1:]
        if rhs.strip() and not rhs.strip().startswith('{') and not top_level(rhs, ','):
            slots.append((j + 1, len(body), False))
        break
    droppable = bool(EXPR_STMT.match(code)) and not code.lstrip().startswith('return')
    return slots, droppable


def candidates(lines):
    out = []
    in_comment = False
    for i, raw in enumerate(lines):
        slots, droppable = line_slots(lines, i, in_comment)
        if '/*' in raw and '*/' not in raw.split('/*', 1)[1]:
            in_comment = True
        if in_comment and '*/' in raw:
            in_comment = raw.rfind('/*') > raw.rfind('*/')
        for si, (a, b, cond) in enumerate(slots):
            for what, new in expr_mutants(raw[a:b], cond):
                out.append({'line': i + 1, 'slot': si, 'kind': what, 'text': new})
        if droppable:
            out.append({'line': i + 1, 'slot': -1, 'kind': 'drop statement', 'text': ''})
    return out


def raw_string_lines(lines):
    """Line numbers inside raw string literals (shader sources): instrumenting
    them would change the string itself, so their mutants stay out."""
    out, inside = set(), False
    for i, ln in enumerate(lines):
        if inside:
            out.add(i + 1)
            inside = ')"' not in ln
            continue
        k = ln.find('R"(')
        if k >= 0:
            out.add(i + 1)
            inside = ')"' not in ln[k + 3:]
    return out


def instrument(lines, mutants):
    """The file with every mutant compiled in behind qv_mut_is(id)."""
    raw = raw_string_lines(lines)
    mutants = [m for m in mutants if m['line'] not in raw]
    by_line = {}
    for m in mutants:
        by_line.setdefault(m['line'], []).append(m)
    out = list(HEADER)
    for i, raw in enumerate(lines):
        ms = by_line.get(i + 1)
        if not ms:
            out.append(raw)
            continue
        slots, _ = line_slots(lines, i, False)
        text = raw
        for si in sorted({m['slot'] for m in ms if m['slot'] >= 0}, reverse=True):
            a, b, cond = slots[si]
            orig = text[a:b]
            chain = f'bool({orig})' if cond else f'({orig})'
            for m in ms:
                if m['slot'] == si:
                    alt = f'bool({m["text"]})' if cond else f'({m["text"]})'
                    chain = f'qv_mut_is({m["id"]}) ? {alt} : {chain}'
            text = text[:a] + f' ({chain})' + text[b:]
        for m in ms:
            if m['slot'] == -1:
                comment = text.find('//') if '//' in text else len(text)
                text = f'{{ if (!qv_mut_is({m["id"]})) {{ {text[:comment].strip()} }} }}'
        out.append(text)
    return '\n'.join(out) + '\n'


def test_env(build):
    env = dict(os.environ)
    env.update({'SDL_VIDEODRIVER': 'offscreen', 'ALSOFT_DRIVERS': 'null',
                'QUORVEL_DIALOGS': 'script', 'QUORVEL_IPC_PREFIX': 'qvm%p-',
                'QUORVEL_TEST_SOURCE_DIR': os.path.join(build, 'src'),
                'QUORVEL_TEST_BINARY_DIR': os.path.join(build, 'b')})
    return env


def run_tests(build, target, gfilter, mutant, timeout):
    """Failing tests of one run; a crash or hang is charged to the test that was
    running, and the run goes on without it."""
    env = test_env(build)
    env['QV_MUT'] = str(mutant)
    exe = os.path.join(build, 'b', 'tests', target)
    killers, excluded = [], []
    for _ in range(6):
        filt = gfilter
        if excluded:
            filt += (':' if '-' in gfilter else '-') + ':'.join(excluded)
        start = time.time()
        # A session of its own: a mutant may leave the test's child processes
        # waiting forever, and they go with the run.
        p = subprocess.Popen([exe, f'--gtest_filter={filt}'], cwd=os.path.join(build, 'b'),
                             env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True, errors='replace', start_new_session=True)
        try:
            out, _ = p.communicate(timeout=timeout)
            finished = p.returncode in (0, 1)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            out, _ = p.communicate()
            finished = False
        try:
            os.killpg(p.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        running = None
        for ln in out.splitlines():
            if ln.startswith('[ RUN      ] '):
                running = ln[13:].strip()
            elif ln.startswith('[       OK ] '):
                running = None
            elif ln.startswith('[  FAILED  ] ') and running:
                killers.append(running)
                running = None
        if finished and 'PASSED' in out:
            break
        if not running:
            if not finished and not killers:
                killers.append('<whole run>')
            break
        killers.append(running)
        excluded.append(running)
        timeout = max(timeout - (time.time() - start), 5)
    return sorted(set(killers))


# Cases that fork the program under test and wait for it: after other cases of
# their program have started threads, the child can hang, so they run alone.
ALONE = {'test_tool': 'ToolScene.*'}


def list_tests(build, target, gfilter):
    out = subprocess.run([os.path.join(build, 'b', 'tests', target), '--gtest_list_tests',
                          f'--gtest_filter={gfilter}'], capture_output=True, text=True,
                         env=test_env(build), cwd=os.path.join(build, 'b')).stdout
    names, suite = [], ''
    for ln in out.splitlines():
        if not ln.strip() or ln.startswith('Running'):
            continue
        if not ln.startswith(' '):
            suite = ln.split()[0]
        else:
            names.append(suite + ln.split()[0])
    return names


class Program:
    """One test program of the suite: the cases that run together in one
    process and those that only pass alone."""

    def __init__(self, build, target):
        self.target = target
        alone = ALONE.get(target, '')
        self.alone = list_tests(build, target, alone) if alone else []
        self.shared = '*' + (f'-{alone}' if alone else '')
        t0 = time.time()
        failing = run_tests(build, target, self.shared, -1, 600)
        self.took = time.time() - t0
        if failing:
            self.alone += failing
            self.shared += (':' if '-' in self.shared else '-') + ':'.join(failing)
        # A case that fails even alone says nothing about a mutant.
        self.alone = [t for t in self.alone if not run_tests(build, target, t, -1, 600)]

    def killers(self, build, mutant):
        timeout = max(10.0, self.took * 4)
        found = run_tests(build, self.target, self.shared, mutant, timeout)
        for t in self.alone if not found else []:
            found = run_tests(build, self.target, t, mutant, 60)
            if found:
                break
        return [f'{self.target}:{k}' for k in found]


def elsewhere(args, rel, lines, mutants):
    """Which killed mutants another test program also kills."""
    tdir = os.path.join(ROOT, 'tests')
    exes = sorted(f'test_{d}' for d in os.listdir(tdir) if os.path.isdir(os.path.join(tdir, d))
                  and any(n.endswith('.cpp') for n in os.listdir(os.path.join(tdir, d))))
    names = exes if args.elsewhere == 'all' else args.elsewhere.split(',')
    names = [n for n in names if n != args.target]
    if args.ids:
        ids = [int(x) for x in args.ids.split(',')]
    else:
        ids = [m['id'] for m in json.load(open(args.ids_from))['detail'] if m['killers']]
    # A mutant can only be caught by a program that runs its line.
    reach = {}
    if args.covermap:
        cover = json.load(open(args.covermap))
        lines_of = {n: set(cover.get(n, {}).get(rel, [])) for n in names}
    line = {m['id']: m['line'] for m in mutants}
    for k in ids:
        reach[k] = [n for n in names if not args.covermap or line.get(k) in lines_of[n]]
    names = sorted({n for k in ids for n in reach.get(k, [])})
    args.target = ' '.join(names) or 'test_util'
    mutants = build_with_mutants(args, rel, lines, mutants)
    built = {m['id'] for m in mutants}
    ids = [k for k in ids if k in built]
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as ex:
        programs = dict(zip(names, ex.map(lambda n: Program(args.build, n), names)))
    for p in programs.values():
        print(f'  {p.target}: clean run {p.took:.1f} s, {len(p.alone)} case(s) alone')

    def first_killer(k):
        for p in sorted((programs[n] for n in reach[k]), key=lambda p: p.took):
            found = p.killers(args.build, k)
            if found:
                return found[0]
        return None

    with concurrent.futures.ThreadPoolExecutor(args.jobs) as ex:
        found = dict(zip(ids, ex.map(first_killer, ids)))
    result = {'source': rel, 'programs': names, 'killed_elsewhere': found}
    os.makedirs(os.path.join(args.build, 'results'), exist_ok=True)
    out = os.path.join(args.build, 'results', rel.replace('/', '_') +
                       (f'.{args.tag}' if args.tag else '') + '.elsewhere.json')
    json.dump(result, open(out, 'w'), indent=1)
    caught = sorted(k for k, v in found.items() if v)
    print(f'{rel}: {len(caught)}/{len(ids)} also killed by another program')
    for k in sorted(found):
        print(f'  #{k:<4d} {found[k] or "only its own program"}')
    print(f'  results: {out}')


def build_with_mutants(args, rel, lines, mutants):
    path = os.path.join(args.build, 'src', rel)
    for attempt in range(12):
        open(path, 'w').write(instrument(lines, mutants))
        p = subprocess.run(['ninja', '-C', os.path.join(args.build, 'b'), '-j', str(args.jobs)]
                           + args.target.split(), capture_output=True, text=True)
        if p.returncode == 0:
            return mutants
        bad = {int(n) - len(HEADER) for n in
               re.findall(re.escape(os.path.basename(rel)) + r':(\d+):\d+: error', p.stdout)}
        if not bad:
            sys.exit('build failed for another reason:\n' + p.stdout[-3000:])
        mutants = [m for m in mutants if m['line'] not in bad]
        print(f'  dropped the mutants of {len(bad)} line(s) the compiler refused')
    sys.exit('could not build the instrumented file')


def test_cases():
    """Test name -> (the file that defines it, lines from its TEST line to the
    next one or the file's end)."""
    cases = {}
    for base, _, names in os.walk(os.path.join(ROOT, 'tests')):
        for n in names:
            if not n.endswith('.cpp'):
                continue
            path = os.path.join(base, n)
            text = open(path).read()
            starts = [(text.count('\n', 0, m.start()), m) for m in
                      re.finditer(r'\bTEST(?:_F|_P)?\(\s*(\w+)\s*,\s*(\w+)\s*\)', text)]
            for k, (i, m) in enumerate(starts):
                end = starts[k + 1][0] if k + 1 < len(starts) else text.count('\n')
                cases[f'{m.group(1)}.{m.group(2)}'] = (os.path.relpath(path, ROOT), end - i)
    return cases


def test_files():
    """Test name -> the file that defines it."""
    return {t: f for t, (f, _) in test_cases().items()}


def plain_name(t):
    parts = t.split('/')
    name = parts[1] if len(parts) > 2 or (len(parts) == 2 and '.' not in parts[0]) else parts[0]
    suite, _, test = name.partition('.')
    return f'{suite}.{test.split("/")[0]}'


def report(paths):
    """Per test over several result files: mutants killed, and killed by it alone."""
    where = test_files()
    kills, alone = {}, {}
    for p in paths:
        r = json.load(open(p))
        print(f'{r["source"]:28s} {r["killed"]:4d}/{r["mutants"]:4d} killed ({r["kill_rate"]}%)')
        for m in r['detail']:
            names = {plain_name(k) for k in m['killers']}
            for n in names:
                kills[n] = kills.get(n, 0) + 1
            if len(names) == 1:
                n = next(iter(names))
                alone[n] = alone.get(n, 0) + 1
    for n in sorted(set(where) | set(kills), key=lambda n: (where.get(n, '?'), n)):
        print(f'{kills.get(n, 0):5d} {alone.get(n, 0):4d}  {where.get(n, "?")}  {n}')


def spare(paths):
    """Given own-program results and their --elsewhere files, the tests that can go
    together with every killed mutant still killed: by a test that stays or by
    another program. Largest first; a test's every mutant is checked against the
    set left after the ones before it went."""
    cases = test_cases()
    where = {t: f for t, (f, _) in cases.items()}
    lengths = {t: n for t, (_, n) in cases.items()}
    killers, folders = {}, set()
    for p in paths:
        r = json.load(open(p))
        if 'killed_elsewhere' in r:
            continue
        folders.add('tests/' + r['target'][len('test_'):] + '/')
        other = p.replace('.json', '.elsewhere.json')
        if not os.path.exists(other):
            sys.exit(f'no {other}: run --elsewhere --ids-from {p} first')
        e = json.load(open(other))['killed_elsewhere']
        for m in r['detail']:
            if m['killers'] and not e.get(str(m['id'])):
                killers[(r['source'], m['id'])] = {plain_name(k) for k in m['killers']}
    gone = set()
    for t in sorted(lengths, key=lambda t: -lengths[t]):
        if not where.get(t, '?').startswith(tuple(folders)):
            continue
        if any(ks <= gone | {t} for ks in killers.values() if t in ks):
            continue
        gone.add(t)
    total = 0
    for t in sorted(gone, key=lambda t: (where.get(t, '?'), t)):
        total += lengths[t]
        print(f'{lengths[t]:5d}  {where.get(t, "?")}  {t}')
    print(f'{total} lines in {len(gone)} tests of {" ".join(sorted(folders))}; every killed '
          'mutant of the files given stays killed (measure every file the tests exercise)')


def main():
    if len(sys.argv) > 2 and sys.argv[1] == '--report':
        return report(sys.argv[2:])
    if len(sys.argv) > 2 and sys.argv[1] == '--spare':
        return spare(sys.argv[2:])
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('source', help='engine file to mutate, relative to the top folder')
    ap.add_argument('--target', required=True, help='test program to run (test_math, ...)')
    ap.add_argument('--filter', default='*', help='gtest filter for the tests to run')
    ap.add_argument('-n', '--count', type=int, default=250, help='mutants to sample')
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--build', default=os.path.join(ROOT, 'build-mut'))
    ap.add_argument('-j', '--jobs', type=int, default=3)
    ap.add_argument('--tag', default='', help='suffix of the results file')
    ap.add_argument('--recheck', default='',
                    help='comma-separated mutant ids: run only these, --repeat times each, '
                         'and print how often each is killed (for mutants whose effect is '
                         'undefined behaviour and so differs between runs)')
    ap.add_argument('--repeat', type=int, default=5)
    ap.add_argument('--elsewhere', default='',
                    help="'all' or comma-separated test programs: run the mutants of --ids "
                         'or --ids-from against them instead of against --target')
    ap.add_argument('--ids', default='')
    ap.add_argument('--covermap', default='',
                    help='scripts/covermap.py output: run each mutant only against the '
                         'programs that reach its line')
    ap.add_argument('--ids-from', default='', help='a results file: its killed mutants')
    args = ap.parse_args()
    args.build = os.path.abspath(args.build)
    rel = args.source
    if not os.path.isdir(os.path.join(args.build, 'b')):
        os.makedirs(os.path.join(args.build, 'src'), exist_ok=True)
        sync_tree(os.path.join(args.build, 'src'))
        subprocess.run(['cmake', '-S', os.path.join(args.build, 'src'), '-B',
                        os.path.join(args.build, 'b'), '-G', 'Ninja',
                        '-DCMAKE_BUILD_TYPE=Debug', '-DQUORVEL_BENCH=OFF',
                        '-DCMAKE_CXX_FLAGS_DEBUG=-O0 -g0', '-DCMAKE_C_FLAGS_DEBUG=-O0 -g0',
                        '-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold'], check=True)
    else:
        sync_tree(os.path.join(args.build, 'src'))
    lines = open(os.path.join(ROOT, rel)).read().split('\n')
    if lines and lines[-1] == '':
        lines.pop()
    pool = candidates(lines)
    random.Random(args.seed).shuffle(pool)
    mutants = sorted(pool[:args.count], key=lambda m: (m['line'], m['slot']))
    for k, m in enumerate(mutants):
        m['id'] = k
    print(f'{rel}: {len(pool)} candidate mutants, {len(mutants)} taken')
    t0 = time.time()
    try:
        if args.elsewhere:
            return elsewhere(args, rel, lines, mutants)
        mutants = build_with_mutants(args, rel, lines, mutants)
        print(f'  built in {time.time() - t0:.0f} s, {len(mutants)} mutants compiled in')
        t0 = time.time()
        base = run_tests(args.build, args.target, args.filter, -1, 1800)
        took = time.time() - t0
        if base:
            sys.exit(f'tests fail without a mutant: {base}')
        timeout = max(10.0, took * 4)
        print(f'  clean run {took:.1f} s; mutant runs time out after {timeout:.0f} s')
        if args.recheck:
            for k in (int(x) for x in args.recheck.split(',')):
                m = next(m for m in mutants if m['id'] == k)
                runs = [run_tests(args.build, args.target, args.filter, k, timeout)
                        for _ in range(args.repeat)]
                print(f'  mutant {k} ({rel}:{m["line"]} {m["kind"]}): killed in '
                      f'{sum(1 for r in runs if r)}/{args.repeat} runs')
            return
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as ex:
            futs = {ex.submit(run_tests, args.build, args.target, args.filter, m['id'],
                              timeout): m for m in mutants}
            for f in concurrent.futures.as_completed(futs):
                futs[f]['killers'] = f.result()
    finally:
        open(os.path.join(args.build, 'src', rel), 'w').write('\n'.join(lines) + '\n')
    killed = [m for m in mutants if m['killers']]
    rate = 100.0 * len(killed) / max(1, len(mutants))
    where = test_files()
    unique = {}
    for m in killed:
        names = {plain_name(k) for k in m['killers']}
        if len(names) == 1:
            n = names.pop()
            unique[n] = unique.get(n, 0) + 1
    result = {'source': rel, 'target': args.target, 'filter': args.filter,
              'mutants': len(mutants), 'killed': len(killed), 'kill_rate': round(rate, 1),
              'unique_kills': unique, 'detail': mutants}
    os.makedirs(os.path.join(args.build, 'results'), exist_ok=True)
    out = os.path.join(args.build, 'results',
                       rel.replace('/', '_') + (f'.{args.tag}' if args.tag else '') + '.json')
    json.dump(result, open(out, 'w'), indent=1)
    print(f'{rel}: {len(killed)}/{len(mutants)} killed ({rate:.1f}%), {time.time() - t0:.0f} s')
    for m in mutants:
        if not m['killers']:
            print(f'  survives  {rel}:{m["line"]}  {m["kind"]}')
    per_file = {}
    for n, c in unique.items():
        per_file[where.get(n, '?')] = per_file.get(where.get(n, '?'), 0) + c
    for f, c in sorted(per_file.items(), key=lambda x: -x[1]):
        print(f'  {c:4d} unique kills  {f}')
    print(f'  results: {out}')


if __name__ == '__main__':
    main()
