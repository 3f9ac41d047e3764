#!/usr/bin/env python3
"""Checks the application manifest embedded in an executable: well-formed XML, system DPI
awareness, the common controls of version 6 for the build's own architecture, the systems
from Vista to 11, and no execution level.   usage: check-manifest.py EXE x86|amd64"""
import re
import sys
import xml.dom.minidom

exe, arch = sys.argv[1:]
found = re.search(rb'<\?xml.*?</assembly>', open(exe, 'rb').read(), re.S)
document = xml.dom.minidom.parseString(found.group(0))  # fails on anything but well-formed XML
tags = lambda name: document.getElementsByTagName(name)
controls = [e for e in tags('assemblyIdentity') if e.getAttribute('name') == 'Microsoft.Windows.Common-Controls']
problems = [what for what, wrong in [
    ('DPI awareness', [e.firstChild.data for e in tags('dpiAware')] != ['true'] or
     tags('dpiAware')[0].parentNode.tagName != 'windowsSettings'),
    ('common controls 6 for ' + arch, len(controls) != 1 or controls[0].getAttribute('version') != '6.0.0.0' or
     {e.getAttribute('processorArchitecture') for e in tags('assemblyIdentity')} != {arch}),
    ('Vista to 11', {e.getAttribute('Id') for e in tags('supportedOS')} != {
        '{e2011457-1546-43c5-a5fe-008deee3d3f0}', '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',
        '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}', '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',
        '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'}),
    ('no execution level', tags('trustInfo') or tags('requestedExecutionLevel')),
] if wrong]
print(exe + ': ' + ('manifest lacks ' + ', '.join(problems) if problems else 'manifest as it should be'))
sys.exit(1 if problems else 0)
