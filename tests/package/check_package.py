#!/usr/bin/env python3
"""Checks the release zip as a Windows user would receive it.

  check_package.py ZIP VERSION

The file list, each program's machine, subsystem, version resource, manifest and icons,
the checksums, the example profile and the README's line ends. Prints one line a check;
exits 1 on the first set of failures.
"""
import hashlib
import re
import struct
import sys
import zipfile

MACHINE_I386, MACHINE_AMD64 = 0x14C, 0x8664
GUI, CONSOLE = 2, 3
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24

# name in the zip -> (machine, subsystem, has the window's icon)
PROGRAMS = {
    "MarrowbineJr.exe": (MACHINE_I386, GUI, True),
    "MarrowbineJr64.exe": (MACHINE_AMD64, GUI, True),
    "MarrowbineJrCheck.exe": (MACHINE_I386, CONSOLE, False),
    "MarrowbineJrCheck64.exe": (MACHINE_AMD64, CONSOLE, False),
}
EXAMPLES = ["examples/My Favs Hybrid", "examples/My Favs Two Dies"]
OTHER_FILES = ["My Favs 1", "README.txt", "CHANGELOG.txt", "SHA256SUMS"] + EXAMPLES


class PeFile:
    """Just enough of a PE image: header fields and the resource tree."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE header")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, optional + 68)
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for k in range(sections):
            _, vsize, rva, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * k)
            self.sections.append((rva, max(vsize, raw_size), raw_ptr))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"rva {rva:#x} outside every section")

    def resources(self):
        """{type id: [(name id, language, bytes)]}"""
        out = {}
        if not self.resource_rva:
            return out
        base = self.offset(self.resource_rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, base + at + 12)
            for k in range(named + ids):
                ident, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * k)
                yield ident, target

        for type_id, to_names in entries(0):
            for name_id, to_langs in entries(to_names & 0x7FFFFFFF):
                for lang, to_leaf in entries(to_langs & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + to_leaf)
                    start = self.offset(rva)
                    out.setdefault(type_id, []).append((name_id, lang, self.data[start:start + size]))
        return out


def version_strings(blob):
    """The fixed file version and the StringFileInfo values of a version resource."""
    at = blob.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        raise ValueError("no VS_FIXEDFILEINFO")
    ms, ls, pms, pls = struct.unpack_from("<IIII", blob, at + 8)
    fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    product = (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF)
    text = blob.decode("utf-16-le", errors="replace")
    values = dict(re.findall(r"(ProductName|FileDescription|FileVersion|ProductVersion|OriginalFilename)\x00+([^\x00]*)", text))
    return fixed, product, values


def main():
    zip_path, version = sys.argv[1], sys.argv[2]
    folder = f"MarrowbineJr-{version}/"
    failures = []
    passed = 0

    def check(ok, what):
        nonlocal passed
        print(("ok    " if ok else "FAIL  ") + what)
        if ok:
            passed += 1
        else:
            failures.append(what)

    with zipfile.ZipFile(zip_path) as z:
        names = sorted(n for n in z.namelist() if not n.endswith("/"))
        expected = sorted(folder + n for n in list(PROGRAMS) + OTHER_FILES)
        check(names == expected, f"file list {names}")
        files = {n[len(folder):]: z.read(n) for n in names if n.startswith(folder)}

    version4 = tuple(int(p) for p in version.split(".")) + (0,)
    descriptions = set()
    for name, (machine, subsystem, has_icon) in PROGRAMS.items():
        if name not in files:
            continue
        try:
            pe = PeFile(files[name])
            res = pe.resources()
        except (ValueError, struct.error) as e:
            check(False, f"{name}: {e}")
            continue
        check(pe.machine == machine, f"{name}: machine {pe.machine:#x}")
        check(pe.subsystem == subsystem, f"{name}: subsystem {pe.subsystem}")
        # On a Remote Desktop host only then is GetWindowsDirectoryW the system's Windows.
        check(pe.dll_characteristics & 0x8000, f"{name}: Terminal Server aware")
        versions = res.get(RT_VERSION, [])
        check(len(versions) == 1, f"{name}: one version resource")
        if versions:
            fixed, product, values = version_strings(versions[0][2])
            check(fixed == version4 and product == version4, f"{name}: fixed version {fixed}, product {product}")
            check(values.get("FileVersion") == version and values.get("ProductVersion") == version,
                  f"{name}: version strings {values.get('FileVersion')}, {values.get('ProductVersion')}")
            check(values.get("ProductName") == "Marrowbine Jr", f"{name}: product name {values.get('ProductName')!r}")
            check(values.get("OriginalFilename") == name, f"{name}: original file name {values.get('OriginalFilename')!r}")
            descriptions.add(values.get("FileDescription", ""))
        manifests = res.get(RT_MANIFEST, [])
        check([m[0] for m in manifests] == [1], f"{name}: one manifest, id 1")
        if manifests:
            m = manifests[0][2].decode("utf-8")
            check('level="asInvoker"' in m, f"{name}: manifest asks asInvoker")
            check("Microsoft.Windows.Common-Controls" in m and 'version="6.0.0.0"' in m,
                  f"{name}: manifest asks common controls 6")
            oses = re.findall(r'supportedOS Id="\{([0-9a-f-]+)\}"', m)
            check(len(oses) == 4, f"{name}: manifest names Windows 7 to 11 ({len(oses)} entries)")
            check(re.search(r"<dpiAware[^>]*>\s*false\s*</dpiAware>", m) is not None,
                  f"{name}: manifest leaves DPI awareness off")
        icons = len(res.get(RT_GROUP_ICON, []))
        check(icons == (1 if has_icon else 0), f"{name}: {icons} icon(s)")
    check(len(descriptions) == len(PROGRAMS), f"each program describes itself: {sorted(descriptions)}")

    sums = files.get("SHA256SUMS", b"").decode("ascii", errors="replace").splitlines()
    listed = {}
    for line in sums:
        digest, _, file = line.partition("  ")
        listed[file] = digest
    check(sorted(listed) == sorted(n for n in files if n != "SHA256SUMS"), f"SHA256SUMS lists {sorted(listed)}")
    for file, digest in listed.items():
        if file in files:
            check(hashlib.sha256(files[file]).hexdigest() == digest, f"SHA256SUMS: {file}")

    readme = files.get("README.txt", b"")
    check(readme.count(b"\n") > 20 and readme.count(b"\r\n") == readme.count(b"\n"),
          "README.txt has CR LF line ends throughout")
    check(b"schtasks" in readme and b"Program Files" in readme, "README.txt explains install and start at logon")
    changelog = files.get("CHANGELOG.txt", b"")
    check(changelog.count(b"\r\n") == changelog.count(b"\n") and b"\r\n" + version.encode() + b"\r\n" in changelog,
          f"CHANGELOG.txt has CR LF line ends and says what {version} changed")
    profile = files.get("My Favs 1", b"")
    check(profile.startswith(b"Marrowbine Jr example profile\r\n"), "example profile is the bundled one")
    for name in EXAMPLES:
        lines = files.get(name, b"").split(b"\r\n")
        favourites = [line.split(b"\t") for line in lines[1:-1]]
        check(lines[0].startswith(b"Marrowbine Jr example profile") and lines[-1] == b"" and favourites
              and all(len(f) == 4 and f[3].startswith(b"C:\\Program Files\\") for f in favourites),
              f"{name}: a header, then favourites of four tab-separated fields under C:\\Program Files, CR LF")

    print(f"package: {passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
