#!/usr/bin/env python3
"""The include arrows between the program's folders, as docs/ARCHITECTURE.md draws them.

Each `#include "..."` of a source is found where the build finds it (beside the source, by its
path from a folder on the include path, or by its name in a folder the target links), and counted
as an arrow from the source's folder to the header's. Folders are the top ones, and service/'s
rooms apart (service/actions, ...). Run from the tree's root, or give the root.
"""
import collections, os, re, sys

args = [a for a in sys.argv[1:] if a != '--check']
root = args[0] if args else '.'
# The layers, lowest first: an arrow runs only to a lower one (--check says each that does not).
ranks = {'serial': 0, 'team': 0, 'device': 1, 'sim': 2, 'dialogs': 2, 'service/base': 2,
         'service/records': 3, 'service/actions': 4, 'service/numbers': 4, 'service/team': 5,
         'service/station': 5, 'protocol': 6, 'ui': 7, 'cli': 7, 'app': 8, 'stationui': 9}
skip = {'tests', 'bench', 'build', 'cmake', 'docs', 'packaging', 'scripts'}
files = {}
for top in sorted(os.listdir(root)):
    if top in skip or top.startswith('build') or not os.path.isdir(os.path.join(root, top)):
        continue
    for d, _, names in os.walk(os.path.join(root, top)):
        for n in names:
            if n.endswith(('.h', '.cpp')):
                p = os.path.relpath(os.path.join(d, n), root)
                files[p] = p

def room(path):
    parts = path.split(os.sep)
    return '/'.join(parts[:2]) if parts[0] == 'service' and len(parts) > 2 else parts[0]

by_name = collections.defaultdict(set)
for p in files:
    by_name[os.path.basename(p)].add(p)
    if p.startswith('service' + os.sep):
        by_name[os.path.relpath(p, "service")].add(p)

arrows = collections.Counter()
for p in files:
    with open(os.path.join(root, p), encoding='utf-8', errors='replace') as f:
        for inc in re.findall(r'^#include "([^"]+)"', f.read(), re.M):
            here = os.path.normpath(os.path.join(os.path.dirname(p), inc))
            target = here if here in files else None
            if target is None:
                found = by_name.get(inc, [])
                target = next(iter(found)) if len(found) == 1 else None
            if target and room(target) != room(p):
                arrows[(room(p), room(target))] += 1

if '--check' in sys.argv:
    wrong = [(a, b) for (a, b) in arrows if ranks.get(a, -1) <= ranks.get(b, 99)]
    for a, b in wrong:
        print(f'{a} includes {b}: an arrow that runs sideways or upward', file=sys.stderr)
    sys.exit(1 if wrong else 0)
for (a, b), n in sorted(arrows.items()):
    print(f'{a:18} -> {b:18} {n}')
