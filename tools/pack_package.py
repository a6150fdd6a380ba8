#!/usr/bin/env python3
"""Writes the package of one build (cmake/package.cmake) so that two builds of
one commit give the same bytes, and prints its path.

    pack_package.py [--cmake CMAKE] BUILD_DIR OUTPUT_DIR

The build's install rules of component "package" put the files into an empty
folder; they go into the archive named in BUILD_DIR/package.txt (.zip or
.tar.gz) in the order of their names, each as a regular file of mode 0644,
owner and group 0, with the time SOURCE_DATE_EPOCH (seconds since 1970, UTC)
or, when that is not set, the time of the source folder's HEAD commit. Nothing
else varies: no time of the build, no user, no build path, and no name or
time in the gzip header.

A zip entry holds no time before 1980-01-01, and a time before that is
written as 1980-01-01 00:00:00. It holds none after 2107-12-31 23:59:59 (a
tar entry none after 2242-03-16 12:56:31): a later time is refused with one
line naming the limit and the time, and exit status 2, before anything is
installed or written; so is a SOURCE_DATE_EPOCH that is not ASCII digits,
with one line naming it. Other errors give exit status 1.
"""
import argparse
import gzip
import io
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

# The earliest time a zip entry can hold (1980-01-01).
ZIP_EARLIEST = 315532800
# The latest time each archive's entries can hold: a zip entry's year is
# 1980 plus 7 bits (2107-12-31 23:59:59), a tar entry's time 11 octal digits
# (2242-03-16 12:56:31).
LATEST = {".zip": 4354819199, ".tar.gz": 8589934591}


def fail(message, status=1):
    print(f"pack_package.py: {message}", file=sys.stderr)
    sys.exit(status)


def read_settings(build):
    """archive= and source= from the build's package.txt."""
    path = os.path.join(build, "package.txt")
    try:
        with open(path, encoding="utf-8") as f:
            pairs = [line.rstrip("\n").split("=", 1) for line in f if "=" in line]
    except OSError as error:
        fail(f"{path}: {error.strerror} (is {build} a configured build?)")
    settings = dict(pairs)
    for key in ("archive", "source"):
        if not settings.get(key):
            fail(f"{path} has no {key}=")
    return settings


def release_time(source):
    """SOURCE_DATE_EPOCH, else the commit time of the source's HEAD."""
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        try:
            value = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                                   check=True, capture_output=True, text=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            fail(f"{source} is not a git checkout: set SOURCE_DATE_EPOCH "
                 "to the release's time (seconds since 1970)")
    # str.isdigit() also takes other scripts' digits ("²", "٣"), which int()
    # then refuses or reads as another number: ASCII digits only.
    if not (value.isascii() and value.isdigit()):
        fail(f"SOURCE_DATE_EPOCH is not a number of seconds: {value!r}", status=2)
    return int(value)


def archive_format(archive):
    """The archive's format, from its name: ".zip" or ".tar.gz"."""
    for suffix in LATEST:
        if archive.endswith(suffix):
            return suffix
    fail(f"no format for {archive}: .zip or .tar.gz")


def check_time_fits(archive, suffix, epoch):
    """Refuses (exit 2) a time that the archive's entries cannot hold."""
    latest = LATEST[suffix]
    if epoch > latest:
        limit = time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(latest))
        fail(f"the release time {epoch} is after {limit} ({latest}), "
             f"the latest time an entry of {archive} can hold", status=2)


def staged_files(folder):
    """The installed files, sorted by name (bytes order, as C's sort gives)."""
    names = sorted(os.listdir(folder), key=lambda name: name.encode())
    for name in names:
        if not os.path.isfile(os.path.join(folder, name)) or os.path.islink(os.path.join(folder, name)):
            fail(f"the package's files must be plain files: {name}")
    if not names:
        fail("the install rules of component package installed nothing")
    return names


def write_zip(path, folder, names, epoch):
    stamp = time.gmtime(max(epoch, ZIP_EARLIEST))[:6]
    with zipfile.ZipFile(path, "w") as archive:
        for name in names:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.create_system = 3  # Unix, so that the mode below counts
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, name), "rb") as f:
                archive.writestr(entry, f.read(), compresslevel=9)


def write_tar_gz(path, folder, names, epoch):
    data = io.BytesIO()
    with tarfile.open(fileobj=data, mode="w", format=tarfile.USTAR_FORMAT) as archive:
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                content = f.read()
            entry = tarfile.TarInfo(name)
            entry.size = len(content)
            entry.mtime = epoch
            entry.mode = 0o644
            entry.uid = entry.gid = 0
            entry.uname = entry.gname = ""
            archive.addfile(entry, io.BytesIO(content))
    with open(path, "wb") as raw:
        # filename "" and mtime 0: the header names no file and no time.
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, compresslevel=9, mtime=0) as z:
            z.write(data.getvalue())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("build")
    parser.add_argument("output")
    args = parser.parse_args()

    settings = read_settings(args.build)
    archive = settings["archive"]
    epoch = release_time(settings["source"])
    suffix = archive_format(archive)
    check_time_fits(archive, suffix, epoch)
    os.makedirs(args.output, exist_ok=True)
    target = os.path.join(args.output, archive)
    partial = target + ".partial"
    stage = tempfile.mkdtemp(prefix=".stage-", dir=args.output)
    try:
        install = subprocess.run([args.cmake, "--install", args.build, "--component", "package",
                                  "--prefix", stage], capture_output=True, text=True)
        if install.returncode != 0:
            sys.stderr.write(install.stdout + install.stderr)
            fail(f"installing the package's files from {args.build} failed")
        names = staged_files(stage)
        if suffix == ".zip":
            write_zip(partial, stage, names, epoch)
        else:
            write_tar_gz(partial, stage, names, epoch)
        os.replace(partial, target)
    finally:
        shutil.rmtree(stage, ignore_errors=True)
        if os.path.exists(partial):
            os.remove(partial)
    print(target)


if __name__ == "__main__":
    main()
