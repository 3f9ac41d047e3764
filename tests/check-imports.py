#!/usr/bin/env python3
"""Fails when an executable imports anything that is not on its allow-list, or is not marked
for the subsystem version its oldest systems need. A list holds what those systems all
export; a new import is added to it on purpose, never by accident.
   usage: check-imports.py EXE ALLOWLIST SUBSYSTEM_VERSION"""
import re
import subprocess
import sys

exe, allow, want = sys.argv[1:]
dump = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', exe], capture_output=True, text=True, check=True).stdout
version = '.'.join(re.search(rf'^{part}SubsystemVersion\s+(\d+)', dump, re.M)[1] for part in ('Major', 'Minor'))
imports = {(dll.upper(), name) for dll, block in re.findall(r'DLL Name: (\S+)\n(.*?)\n\n', dump, re.S)
           for name in re.findall(r'^\s+[0-9a-f]+\s+\d+\s+(\S+)$', block, re.M)}
allowed = {(line.split()[0].upper(), line.split()[1]) for line in open(allow) if len(line.split()) == 2 and line[0] != '#'}
extra = sorted(imports - allowed)
print(f'{exe}: {len(imports)} imports, subsystem version {version} (wanted {want})')
for dll, name in extra:
    print(f'  not on the allow-list ({allow}): {dll} {name}')
sys.exit(1 if extra or version != want or not imports else 0)
