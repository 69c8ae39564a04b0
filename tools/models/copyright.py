"""Writes the Debian copyright file of the package: the program under the GPL, and each
converted network under the licence its npm package gives it, read from the manifest.
Licences Debian keeps in /usr/share/common-licenses are named there; any other is quoted
whole from the npm package it came with.

    copyright.py MODELS_DIR CACHE_DIR > copyright
"""

import json
import os
import sys
import tarfile

import sources

COMMON_LICENSES = {"Apache-2.0": "Apache-2.0", "GPL-3.0": "GPL-3"}


def package_of(source):
    """The pinned package a manifest source ("name@version file") came from."""
    name_version = source.split(" ")[0]
    for package in sources.PACKAGES:
        if name_version == "%s@%s" % (package["name"], package["version"]):
            return package
    sys.exit("copyright.py: no pinned package for %r" % source)


def license_text(cache, package):
    """The licence file the package's tarball carries."""
    with tarfile.open(os.path.join(cache, sources.tarball_name(package))) as tarball:
        for member in tarball.getmembers():
            if member.isfile() and os.path.basename(member.name).upper().startswith("LICENSE"):
                return tarball.extractfile(member).read().decode("utf-8")
    sys.exit("copyright.py: %s carries no licence file" % package["name"])


def indented(text):
    """Text as a field's continuation lines: each indented, an empty line as a dot."""
    return "\n".join(" " + (line if line.strip() else ".") for line in text.splitlines())


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: copyright.py MODELS_DIR CACHE_DIR")
    models, cache = sys.argv[1], sys.argv[2]
    with open(os.path.join(models, "manifest.json")) as f:
        manifest = json.load(f)
    paragraphs = [
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        "Upstream-Name: Pelliqo",
        "Files: *\nCopyright: 2026 Pelliqo developers\nLicense: GPL-3",
    ]
    licenses = {"GPL-3": None}
    for model in manifest["models"]:
        package = package_of(model["source"])
        name = COMMON_LICENSES.get(model["license"], model["license"])
        paragraphs.append("Files: usr/share/pelliqo/models/%s\nCopyright: the authors of %s\n"
                          "License: %s\nComment: %s, converted from %s" %
                          (model["file"], package["name"], name, model["title"], model["source"]))
        if name not in licenses:
            licenses[name] = None if name in COMMON_LICENSES.values() else license_text(cache, package)
    for name, text in licenses.items():
        if text is None:
            text = "On Debian systems the full text is in /usr/share/common-licenses/%s." % name
        paragraphs.append("License: %s\n%s" % (name, indented(text)))
    print("\n\n".join(paragraphs))


if __name__ == "__main__":
    main()
