#!/usr/bin/env python3
"""Names a built site's files for its service worker: writes SITE/build.js with the version, a
build id made from the files' content, and each file's SHA-256.

Usage: stamp_site.py SITE VERSION

The worker (sw.js, which imports build.js) caches exactly these files under a name made of the
version and the id, and refuses a file whose sum differs, so an install never mixes two builds;
it answers for build.js itself from what it imported.
"""
import hashlib
import json
import os
import sys

# What a visit needs, the page first; the data files only where the site has them.
FILES = ["index.html", "kestrove-page.js", "kestrove.js", "kestrove.wasm",
         "manifest.webmanifest", "icon-192.png", "icon-512.png"]
DATA = ["bg_image.jpg", "H3.MAF", "deja1.kv0", "deja2.kv0", "ascii.fnt", "H01.fnt"]


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    site, version = argv[1], argv[2]
    names = FILES + ["data/" + name for name in DATA
                     if os.path.isfile(os.path.join(site, "data", name))]
    if len(names) < len(FILES) + len(DATA):
        sys.stderr.write("stamp_site.py: warning: the site lacks data files; a visit offline "
                         "plays without them\n")
    sums = {}
    for name in names:
        try:
            sums[name] = sha256(os.path.join(site, name))
        except OSError as e:
            sys.stderr.write(f"stamp_site.py: {name}: {e.strerror}\n")
            return 1
    # The worker is part of the build too: a new sw.js gets a cache of its own.
    with_worker = dict(sums, **{"sw.js": sha256(os.path.join(site, "sw.js"))})
    build_id = hashlib.sha256(json.dumps(with_worker, sort_keys=True).encode()).hexdigest()[:12]
    build = {"version": version, "id": build_id, "files": sums}
    text = ("// Written by tools/web/stamp_site.py: which build this is, and what it is made of.\n"
            "self.kestroveBuild = " + json.dumps(build, indent=1, sort_keys=True) + ";\n")
    path = os.path.join(site, "build.js")
    with open(path + ".new", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".new", path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
