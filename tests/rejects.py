#!/usr/bin/env python3
"""The executable check passes a program with no fault, and fails one with any single fault,
naming that fault alone (the C++ runtime brings imports of its own: that one by its message).
   usage: rejects.py CHECKER DIR ALLOWLIST SUBSYSTEM_VERSION MAX_BYTES ARCHITECTURE"""
import os, re, subprocess, sys

checker, where, allow, subsystem, limit, architecture = sys.argv[1:]
clean, moved = (os.path.join(where, f'variant_{name}.exe') for name in ('clean', 'moved'))
with open(clean, 'rb') as source, open(moved, 'wb') as target:  # dpiAwareness in dpiAware's older namespace
    target.write(source.read().replace(b'SMI/2016/WindowsSettings', b'SMI/2005/WindowsSettings'))
cases = [(clean, 'clean', limit, None), (None, 'import', limit, r'not on the allow-list.*GetTickCount64'),
         (None, 'nx', limit, r'not marked NX_COMPAT'), (clean, 'clean', os.path.getsize(clean) - 1, r'over its limit'),
         (moved, 'clean', limit, r'<dpiAwareness> in the namespace ".*/2005/'), (None, 'runtime', limit, r'links the C\+\+ runtime')]
failures = 0
for exe, variant, max_bytes, wanted in cases:  # the program, its link map's variant, the limit, the one problem
    exe = exe or os.path.join(where, f'variant_{variant}.exe')
    run = subprocess.run([sys.executable, checker, exe, allow, subsystem, str(max_bytes), os.path.join(where, f'variant_{variant}.map'),
                          architecture], capture_output=True, text=True)
    problems = run.stdout.splitlines()[1:]
    ok = run.returncode == bool(wanted) and (variant == 'runtime' or len(problems) == bool(wanted)) and \
        (not wanted or any(re.search(wanted, problem) for problem in problems))
    print(f'{"ok" if ok else "WRONG"}: {os.path.basename(exe)}, limit {max_bytes}: exit {run.returncode}', *problems[:3], sep='\n  ')
    failures += not ok
sys.exit(1 if failures else 0)
