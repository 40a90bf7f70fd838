#!/usr/bin/env python3
"""Compares the system calls of the log command and of its floor program,
both traced with strace -f under the simulated expander: every log entry
(an open of the operation log up to its close) must make exactly one write
and the same calls as an entry of the floor; outside the entries the calls
of each are counted by name.

    syscalls.py CORVANE_TRACE FLOOR_TRACE OUT_JSON
"""
import collections
import json
import re
import sys

LINE = re.compile(r'^(\d+)\s+(\w+)\((.*)\)\s+=\s+(-?\d+|\?)')


def calls_after_exec(path):
    """Calls of the traced command, from its execve on (the launcher execs it)."""
    calls = []
    started = False
    for line in open(path, encoding='utf-8', errors='replace'):
        m = LINE.match(line)
        if not m:
            continue
        name, args, ret = m.group(2), m.group(3), m.group(4)
        if name == 'execve':
            started = 'expander-sim' not in args.split(',')[0]
            calls = []
            continue
        if started:
            calls.append((name, args, ret))
    return calls


def split_entries(calls):
    entries, outside = [], []
    current, fd = None, None
    for name, args, ret in calls:
        if current is None and name in ('openat', 'open') and 'expander_log.txt' in args:
            current, fd = [name], ret
            continue
        if current is not None:
            current.append(name)
            if name == 'close' and args.strip() == fd:
                entries.append(current)
                current = None
            continue
        outside.append(name)
    return entries, outside


def main():
    ours, floor = (split_entries(calls_after_exec(p)) for p in sys.argv[1:3])
    (entries, outside), (floor_entries, floor_outside) = ours, floor
    shapes = collections.Counter(tuple(e) for e in entries)
    floor_shapes = collections.Counter(tuple(e) for e in floor_entries)
    writes = [e.count('write') for e in entries]
    extra = collections.Counter(outside)
    extra.subtract(collections.Counter(floor_outside))
    result = {
        'entries': len(entries),
        'floor_entries': len(floor_entries),
        'writes_per_entry_min': min(writes) if writes else 0,
        'writes_per_entry_max': max(writes) if writes else 0,
        'entry_calls': [' '.join(s) for s in shapes],
        'floor_entry_calls': [' '.join(s) for s in floor_shapes],
        'calls_total': len(outside) + sum(len(e) for e in entries),
        'floor_calls_total': len(floor_outside) + sum(len(e) for e in floor_entries),
        'outside_entries_extra': {k: v for k, v in sorted(extra.items()) if v != 0},
    }
    result['one_write_per_entry'] = result['writes_per_entry_min'] == 1 == result['writes_per_entry_max']
    result['entries_like_floor'] = set(shapes) <= set(floor_shapes)
    # The heap's growth and trimming (brk, mmap, munmap, mprotect) follows the
    # allocator's state, the simulator's file reads included, not the
    # command's I/O; every other call counts.
    memory = {'brk', 'mmap', 'munmap', 'mprotect'}
    result['no_extra_calls'] = all(v <= 0 for k, v in extra.items() if k not in memory)
    with open(sys.argv[3], 'w') as f:
        json.dump(result, f, indent=1)


if __name__ == '__main__':
    main()
