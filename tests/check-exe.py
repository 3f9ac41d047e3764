#!/usr/bin/env python3
"""Fails when a shipped executable is heavier than its limit, links anything of the C++
runtime that exists to throw or unwind (a member of libstdc++.a, libsupc++.a or libgcc_eh.a
in its link map), imports anything that is not on its allow-list, is not marked for the
subsystem version its oldest systems need or for the hardening Windows applies only when asked
(a random base, with relocations; no code run from data; on 64-bit, high-entropy addresses), or
has a manifest that Windows would refuse or misread: one that does not parse, an element outside
the namespace Microsoft documents for it (Windows then does not start the program at all), an
identity of another architecture, or a DPI awareness list offering per-monitor version 1, which
Windows 10 1607 takes (it lacks version 2) and under which nothing scales the dialog. A list
holds what those systems all export; a new import is added to it on purpose, never by accident.
   usage: check-exe.py EXE ALLOWLIST SUBSYSTEM_VERSION MAX_BYTES LINK_MAP ARCHITECTURE"""
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

exe, allow, want, limit, link_map, architecture = sys.argv[1:]
V1, V3, COMPATIBILITY = 'urn:schemas-microsoft-com:asm.v1', 'urn:schemas-microsoft-com:asm.v3', 'urn:schemas-microsoft-com:compatibility.v1'
NAMESPACES = {'assembly': V1, 'assemblyIdentity': V1, 'dependency': V1, 'dependentAssembly': V1, 'application': V3,
              'windowsSettings': V3, 'compatibility': COMPATIBILITY, 'supportedOS': COMPATIBILITY,
              'dpiAware': 'http://schemas.microsoft.com/SMI/2005/WindowsSettings',
              'dpiAwareness': 'http://schemas.microsoft.com/SMI/2016/WindowsSettings'}


def manifest_problems(text):
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return [f'the manifest does not parse: {error}']
    problems, parents = [], {child: parent for parent in root.iter() for child in parent}
    for element in root.iter():
        namespace, name = element.tag[1:].split('}')
        inside = parents[element].tag.split('}')[1] if element in parents else None
        wanted = COMPATIBILITY if (inside, name) == ('compatibility', 'application') else NAMESPACES.get(name)
        if namespace != wanted:
            problems.append(f'manifest: <{name}> in the namespace "{namespace}", documented in "{wanted}"')
    for awareness in root.iter(f'{{{NAMESPACES["dpiAwareness"]}}}dpiAwareness'):
        if 'permonitor' in [entry.strip().lower() for entry in awareness.text.split(',')]:
            problems.append(f'manifest: dpiAwareness "{awareness.text}" offers PerMonitor, which 1607 takes')
    identities = [identity.get('processorArchitecture') for identity in root.iter(f'{{{V1}}}assemblyIdentity')]
    if identities != [architecture] * 2:
        problems.append(f'manifest: identities for {identities}, wanted two for {architecture}')
    return problems


dump = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', exe], capture_output=True, text=True, check=True).stdout
version = '.'.join(re.search(rf'^{part}SubsystemVersion\s+(\d+)', dump, re.M)[1] for part in ('Major', 'Minor'))
imports = {(dll.upper(), name) for dll, block in re.findall(r'DLL Name: (\S+)\n(.*?)\n\n', dump, re.S)
           for name in re.findall(r'^\s+[0-9a-f]+\s+\d+\s+(\S+)$', block, re.M)}
allowed = {(line.split()[0].upper(), line.split()[1]) for line in open(allow) if len(line.split()) == 2 and line[0] != '#'}
hardening = set(re.search(r'^DllCharacteristics\s+\w+\n((?:\t+\w+\n)*)', dump, re.M)[1].split())
relocations = int(re.search(r'^Entry 5 \w+ (\w+) Base Relocation', dump, re.M)[1], 16)
size = os.path.getsize(exe)
problems = [f'not on the allow-list ({allow}): {dll} {name}' for dll, name in sorted(imports - allowed)]
problems += [f'subsystem version {version}, wanted {want}'] * (version != want) + ['no imports read'] * (not imports)
problems += [f'{size} bytes, over its limit of {limit}'] * (size > int(limit))
problems += [f'not marked {flag}' for flag in ['DYNAMIC_BASE', 'NX_COMPAT'] + ['HIGH_ENTROPY_VA'] * (architecture == 'amd64')
             if flag not in hardening] + ['no relocations: the base address cannot be chosen at random'] * (not relocations)
problems += [f'links the C++ runtime: {member}' for member in
             sorted(set(re.findall(r'lib(?:stdc\+\+|supc\+\+|gcc_eh)\.a\([^)]*\)', open(link_map).read())))]
manifest = re.search(rb'<\?xml.*?</assembly>', open(exe, 'rb').read(), re.S)
problems += manifest_problems(manifest[0]) if manifest else ['no manifest']
print(f'{exe}: {size} bytes (limit {limit}), {len(imports)} imports, subsystem version {version}')
for problem in problems:
    print(f'  {problem}')
sys.exit(1 if problems else 0)
