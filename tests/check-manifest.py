#!/usr/bin/env python3
"""Checks the application manifest embedded in an executable: well-formed XML, system DPI
awareness, the common controls of version 6 for the build's own architecture, the systems
from Vista to 11, and no execution level.   usage: check-manifest.py EXE x86|amd64"""
import re
import sys
import xml.dom.minidom

exe, arch = sys.argv[1:]
document = xml.dom.minidom.parseString(re.search(rb'<\?xml.*?</assembly>', open(exe, 'rb').read(), re.S)[0])
tags = document.getElementsByTagName
dpi = [(e.parentNode.tagName, e.firstChild.data) for e in tags('dpiAware')]
identities = {(e.getAttribute('name'), e.getAttribute('version'), e.getAttribute('processorArchitecture'))
              for e in tags('assemblyIdentity')}
systems = {e.getAttribute('Id')[1:9] for e in tags('supportedOS')}  # Vista, 7, 8, 8.1, 10 and 11
problems = [what for what, wrong in [
    ('DPI awareness', dpi != [('windowsSettings', 'true')]),
    ('common controls 6 for ' + arch, ('Microsoft.Windows.Common-Controls', '6.0.0.0', arch) not in identities or
     {i[2] for i in identities} != {arch}),
    ('Vista to 11', systems != {'e2011457', '35138b9a', '4a2f28e3', '1f676c76', '8e0f7a12'}),
    ('no execution level', tags('trustInfo') or tags('requestedExecutionLevel')),
] if wrong]
print(exe + ': ' + ('manifest lacks ' + ', '.join(problems) if problems else 'manifest as it should be'))
sys.exit(1 if problems else 0)
