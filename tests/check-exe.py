#!/usr/bin/env python3
"""Fails when a shipped executable is heavier than its limit, links anything of the C++
runtime that exists to throw or unwind (a member of libstdc++.a, libsupc++.a or libgcc_eh.a
in its link map), imports anything that is not on its allow-list, or is not marked for the
subsystem version its oldest systems need. A list holds what those systems all export; a new
import is added to it on purpose, never by accident.
   usage: check-exe.py EXE ALLOWLIST SUBSYSTEM_VERSION MAX_BYTES LINK_MAP"""
import os
import re
import subprocess
import sys

exe, allow, want, limit, link_map = sys.argv[1:]
dump = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', exe], capture_output=True, text=True, check=True).stdout
version = '.'.join(re.search(rf'^{part}SubsystemVersion\s+(\d+)', dump, re.M)[1] for part in ('Major', 'Minor'))
imports = {(dll.upper(), name) for dll, block in re.findall(r'DLL Name: (\S+)\n(.*?)\n\n', dump, re.S)
           for name in re.findall(r'^\s+[0-9a-f]+\s+\d+\s+(\S+)$', block, re.M)}
allowed = {(line.split()[0].upper(), line.split()[1]) for line in open(allow) if len(line.split()) == 2 and line[0] != '#'}
size = os.path.getsize(exe)
problems = [f'not on the allow-list ({allow}): {dll} {name}' for dll, name in sorted(imports - allowed)]
problems += [f'subsystem version {version}, wanted {want}'] * (version != want) + ['no imports read'] * (not imports)
problems += [f'{size} bytes, over its limit of {limit}'] * (size > int(limit))
problems += [f'links the C++ runtime: {member}' for member in
             sorted(set(re.findall(r'lib(?:stdc\+\+|supc\+\+|gcc_eh)\.a\([^)]*\)', open(link_map).read())))]
print(f'{exe}: {size} bytes (limit {limit}), {len(imports)} imports, subsystem version {version}')
for problem in problems:
    print(f'  {problem}')
sys.exit(1 if problems else 0)
