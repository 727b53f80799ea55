#!/usr/bin/env python3
"""Writes the release zip from two finished Release builds.

  make_package.py --win32 build/win32 --win64 build/win64 --version 1.4.0 --out ZIP

One folder, MarrowbineJr-VERSION/, holding the four programs, the example profile (and
two more examples in examples/), a
README.txt for Windows users (the user's guide of README.md as plain text, CR LF line ends),
CHANGELOG.txt (CHANGELOG.md the same way) and SHA256SUMS over the other files. Entries carry the last commit's time, so the same
sources give the same zip.
"""
import argparse
import hashlib
import os
import re
import subprocess
import sys
import textwrap
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXAMPLES = ["My Favs Hybrid", "My Favs Two Dies"]
GUIDE_START, GUIDE_END = "<!-- windows-guide:start -->", "<!-- windows-guide:end -->"
# What only the web page shows (the screenshots) stands between these.
NOT_IN_TEXT, END_NOT_IN_TEXT = "<!-- not-in-text -->", "<!-- /not-in-text -->"


def programs(win32, win64):
    return [
        ("MarrowbineJr.exe", os.path.join(win32, "src", "MarrowbineJr.exe")),
        ("MarrowbineJr64.exe", os.path.join(win64, "src", "MarrowbineJr64.exe")),
        ("MarrowbineJrCheck.exe", os.path.join(win32, "src", "MarrowbineJrCheck.exe")),
        ("MarrowbineJrCheck64.exe", os.path.join(win64, "src", "MarrowbineJrCheck64.exe")),
    ]


def plain_table(rows):
    """A Markdown table as aligned columns; a table too wide for Notepad as "first: rest"."""
    cells = [[c.strip() for c in row.strip().strip("|").split("|")] for row in rows]
    widths = [max(len(r[k]) for r in cells if k < len(r)) for k in range(max(map(len, cells)))]
    if sum(widths) + 2 * len(widths) > 92:
        return [line for r in cells[1:]
                for line in textwrap.wrap(f"- {r[0]}: {'; '.join(r[1:])}", 90, subsequent_indent="  ")]
    return ["  ".join(c.ljust(widths[k]) for k, c in enumerate(r)).rstrip() for r in cells]


def plain_text(markdown):
    """The README's Markdown as text for Notepad: no pictures, fences, backticks, links or
    emphasis; tables as columns."""
    out = []
    fenced = skipping = False
    table = []
    for line in markdown.splitlines():
        if line.strip() == NOT_IN_TEXT:
            skipping = True
            continue
        if line.strip() == END_NOT_IN_TEXT:
            skipping = False
            continue
        if skipping:
            continue
        if line.startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            out.append("    " + line)
            continue
        line = re.sub(r"\[([^\]]+)\]\([^)]*\)", r"\1", line)
        line = line.replace("**", "").replace("`", "")
        if line.startswith("|"):
            if not re.match(r"^\|[-| :]+\|$", line):
                table.append(line)
            continue
        if table:
            out.extend(plain_table(table))
            table = []
        heading = re.match(r"^(#+) (.*)$", line)
        if heading:
            out.append(heading.group(2))
            if len(heading.group(1)) <= 2:
                out.append(("=" if len(heading.group(1)) == 1 else "-") * len(heading.group(2)))
            continue
        out.append(line.rstrip())
    if table:
        out.extend(plain_table(table))
    text = "\n".join(out).strip("\n") + "\n"
    return re.sub(r"\n{3,}", "\n\n", text)


def windows_readme(version):
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        markdown = f.read()
    start, end = markdown.find(GUIDE_START), markdown.find(GUIDE_END)
    if start < 0 or end < start:
        sys.exit("make_package.py: README.md has no Windows user's guide between its markers")
    guide = markdown[start + len(GUIDE_START):end]
    head = f"Marrowbine Jr {version}\n\n"
    return (head + plain_text(guide)).replace("\n", "\r\n").encode("utf-8")


def windows_changelog():
    with open(os.path.join(ROOT, "CHANGELOG.md"), encoding="utf-8") as f:
        return plain_text(f.read()).replace("\n", "\r\n").encode("utf-8")


def commit_time():
    try:
        out = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"], capture_output=True,
                             text=True, check=True).stdout.strip()
        return int(out)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return int(time.time())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--win32", required=True)
    ap.add_argument("--win64", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()

    files = []
    for name, path in programs(args.win32, args.win64):
        if not os.path.isfile(path):
            sys.exit(f"make_package.py: {path} is missing: build both Release builds first")
        with open(path, "rb") as f:
            files.append((name, f.read()))
    with open(os.path.join(ROOT, "examples", "My Favs 1"), "rb") as f:
        files.append(("My Favs 1", f.read()))
    for name in EXAMPLES:
        with open(os.path.join(ROOT, "examples", name), "rb") as f:
            files.append(("examples/" + name, f.read()))
    files.append(("README.txt", windows_readme(args.version)))
    files.append(("CHANGELOG.txt", windows_changelog()))
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files)
    files.append(("SHA256SUMS", sums.encode("ascii")))

    folder = f"MarrowbineJr-{args.version}/"
    stamp = time.gmtime(max(commit_time(), 315532800))[:6]  # zip times start in 1980
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    tmp = args.out + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo(folder, stamp), b"")
        for name, data in files:
            info = zipfile.ZipInfo(folder + name, stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, data)
    os.replace(tmp, args.out)
    print(f"wrote {args.out} ({os.path.getsize(args.out)} bytes)")


if __name__ == "__main__":
    main()
