"""Prints the directory below PREFIX where this interpreter looks for packages, and on
a second line 1 when it searches that directory (0 when PYTHONPATH must name it).

    python3 site_dir.py PREFIX

A directory of sys.path (or the user's site directory) inside PREFIX/lib is taken when
there is one: /usr gives Debian's dist-packages, ~/.local the user's site-packages.
Otherwise the prefix's own site-packages, which the interpreter does not search.
"""
import os
import site
import sys
import sysconfig

prefix = os.path.realpath(os.path.abspath(sys.argv[1]))
candidates = list(sys.path)
if site.ENABLE_USER_SITE:
    candidates.append(site.getusersitepackages())
for path in candidates:
    real = os.path.realpath(path) if path else ""
    relative = os.path.relpath(real, prefix) if real else ".."
    if relative.startswith("lib") and os.path.basename(real) in ("site-packages", "dist-packages"):
        print(os.path.join(sys.argv[1], relative))
        print(1)
        break
else:
    scheme = "posix_prefix"
    print(sysconfig.get_path("platlib", scheme, vars={"base": sys.argv[1], "platbase": sys.argv[1]}))
    print(0)
