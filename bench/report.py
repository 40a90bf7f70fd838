#!/usr/bin/env python3
"""Prints the table of ratios (ours / reference, medians) from the raw
results that scripts/bench.sh left in DIR, and whether each target is met.

    report.py DIR
"""
import json
import os
import sys

DIR = sys.argv[1]
unmet = []


def load(name):
    with open(os.path.join(DIR, name)) as f:
        return json.load(f)


def check(ok, what):
    if not ok:
        unmet.append(what)
    return 'ok' if ok else 'UNMET'


micro = {}
for b in load('micro.json')['benchmarks']:
    if b.get('aggregate_name') == 'median':
        micro[b['run_name']] = b
# Per-call costs are the medians of processor time: on a shared machine the
# wall time of a repetition also holds the time the thread waited for a core.
TIME = 'cpu_time'

print('Formats (ns of processor time, medians; target: every bounded variant <= 0.50 x snprintf and < 1.00 x fmt)')
print(f"{'format':<20} {'sprintf_s':>9} {'snprintf':>9} {'fmt':>7}  "
      f"{'s/libc':>6} {'s/fmt':>6} {'n/libc':>6} {'n/fmt':>6} {'t/libc':>6} {'t/fmt':>6}")
cases = sorted({n.split('/')[1] for n in micro if n.startswith('format/')},
               key=lambda c: [n for n in micro].index(f'format/{c}/sprintf_s'))
for c in cases:
    t = {v: micro[f'format/{c}/{v}'][TIME] for v in
         ('sprintf_s', 'snprintf_s', 'snprintf_truncated_s', 'snprintf', 'fmt')}
    ratios = []
    for v in ('sprintf_s', 'snprintf_s', 'snprintf_truncated_s'):
        ratios += [t[v] / t['snprintf'], t[v] / t['fmt']]
    ok = all(r <= 0.5 for r in ratios[0::2]) and all(r < 1.0 for r in ratios[1::2])
    print(f"{c:<20} {t['sprintf_s']:9.1f} {t['snprintf']:9.1f} {t['fmt']:7.1f}  " +
          ' '.join(f'{r:6.2f}' for r in ratios) + '  ' + check(ok, f'format {c}'))

print('\nCopy routines (ns of processor time, medians; target: ours <= 1.20 x libc at every size)')
print('  ours/libc = ratio; [floor/libc]: the least the routine\'s contract allows, out of line')
for name in ('memcpy_s', 'memset_s', 'strcpy_s', 'strcat_s', 'strncpy_s'):
    row = f'{name:<10}'
    ok = True
    for n in (16, 64, 2048):
        ours = micro[f'copy/{name}/{n}/ours'][TIME]
        libc = micro[f'copy/{name}/{n}/libc'][TIME]
        floor = micro[f'copy/{name}/{n}/floor'][TIME]
        ok = ok and ours / libc <= 1.2
        row += f'  {n:>4}: {ours:6.1f}/{libc:6.1f} = {ours / libc:5.2f} [{floor / libc:4.2f}]'
    print(row + '  ' + check(ok, f'copy {name}'))

print('\nLog road in-process (us, medians)')
road = micro['log_road/max_page_set/corvane']
floor = micro['log_road/max_page_set/floor']
print(f"  largest page set: {road[TIME]:.0f} vs fopen/fprintf/fclose floor "
      f"{floor[TIME]:.0f} = {road[TIME] / floor[TIME]:.3f}  "
      f"({road['entries']:.0f} entries, {road['allocations']:.0f} allocations by the program)  "
      + check(road['allocations'] == 0, 'allocation on the log road'))
far = micro['log_road/ram_page/far_future'][TIME]
present = micro['log_road/ram_page/present_day'][TIME]
print(f'  RAM log page, far-future stamps / present-day: {far:.0f} / {present:.0f} = '
      f'{far / present:.2f}  (target <= 2)  ' + check(far / present <= 2, 'worst page'))

print('\nWhole commands under the simulated expander (ms, medians of alternating runs)')
log = load('log_command.json')
print(f"  log, largest page set: wall {log['corvane']['median_s'] * 1e3:.2f} vs floor "
      f"{log['floor']['median_s'] * 1e3:.2f} = {log['ratio']:.3f}; processor time "
      f"{log['corvane']['median_cpu_s'] * 1e3:.2f} vs {log['floor']['median_cpu_s'] * 1e3:.2f} = "
      f"{log['cpu_ratio']:.3f}  (target <= 1.10 on processor time; wall time shown, "
      f"it carries the shared machine's load)  " + check(log['cpu_ratio'] <= 1.10, 'log command'))
far = load('log_command_far.json')
print(f"  log, far-future / present-day stamps: wall {far['ratio']:.3f}, processor time "
      f"{far['cpu_ratio']:.3f}")
sc = load('syscalls.json')
print(f"  strace: {sc['entries']} entries (floor {sc['floor_entries']}), writes an entry "
      f"{sc['writes_per_entry_min']}..{sc['writes_per_entry_max']}, entry calls "
      f"{sc['entry_calls']} (floor {sc['floor_entry_calls']}), calls in all "
      f"{sc['calls_total']} (floor {sc['floor_calls_total']})  " +
      check(sc['one_write_per_entry'] and sc['entries_like_floor'] and sc['no_extra_calls'] and
            sc['entries'] == sc['floor_entries'], 'system calls'))
print(f"    calls outside the entries beyond the floor's: {sc['outside_entries_extra']}")
for size in (1024, 65536, 1048576, 16777216):
    d = load(f'download_{size}.json')
    print(f"  download {size:>8} bytes: wall {d['corvane']['median_s'] * 1e3:8.2f} vs floor "
          f"{d['floor']['median_s'] * 1e3:8.2f} = {d['ratio']:.3f}; processor time "
          f"{d['corvane']['median_cpu_s'] * 1e3:8.2f} vs {d['floor']['median_cpu_s'] * 1e3:8.2f} = "
          f"{d['cpu_ratio']:.3f}")

print('\nPeak RSS under the simulator (KiB; the simulator library and its model are included,'
      ' the floor shows their share)')
rss = {'log': log['corvane']['max_rss_kib'], 'log floor': log['floor']['max_rss_kib']}
q = load('query.json')
rss['query'] = q['query']['max_rss_kib']
rss['reset'] = q['reset']['max_rss_kib']
for size in (1024, 16777216):
    d = load(f'download_{size}.json')
    rss[f'download {size}'] = d['corvane']['max_rss_kib']
    rss[f'download {size} floor'] = d['floor']['max_rss_kib']
print('  ' + ', '.join(f'{k} {v}' for k, v in rss.items()))
own = max(rss['log'] - rss['log floor'],
          rss['download 16777216'] - rss['download 16777216 floor'])
print(f"  largest excess over the floor: {own} KiB; largest peak of a command: "
      f"{max(v for k, v in rss.items() if 'floor' not in k)} KiB")

print('\ndecode --json against decode (instructions of the whole run, callgrind; '
      'target: <= 1.50 x text)')
for name, d in load('decode_json.json').items():
    ratio = d['json'] / d['text']
    print(f"  {name:<8} text {d['text']:>10,}  json {d['json']:>10,}  = {ratio:.3f}  " +
          check(ratio <= 1.5, f'decode --json {name}'))

print('\n' + open(os.path.join(DIR, 'load.txt')).read().strip())
print('targets: ' + ('all met' if not unmet else 'UNMET: ' + ', '.join(unmet)))
sys.exit(1 if unmet else 0)
