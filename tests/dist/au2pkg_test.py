#!/usr/bin/env python3
"""Checks AviUtl ExEdit2's package (Tarvo.au2pkg.zip) as the editor reads it:
the exact entries (forward slashes, folders first), package.ini's [package]
keys, package.txt, the language files byte for byte as UTF-8, and the
binaries 64-bit Windows ones of the right kind. Then builds the package again
with dist/au2pkg.sh from the same binaries and sample language files: none,
two, and one that is not UTF-8 (refused).

Usage: au2pkg_test.py Tarvo.au2pkg.zip plugin2/Language
"""
import configparser
import os
import pathlib
import struct
import subprocess
import sys
import tempfile
import zipfile

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "dist" / "au2pkg.sh"
PROGRAMS = ["Plugin/Tarvo/Tarvo_output.auo2", "Plugin/Tarvo/tarvo-aac.exe", "Plugin/Tarvo/tarvo-mux.exe"]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def pe_kind(data):
    """(machine, PE32+, DLL, subsystem) of a PE file, or None."""
    if data[:2] != b"MZ" or len(data) < 0x40:
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    machine, = struct.unpack_from("<H", data, offset + 4)
    characteristics, = struct.unpack_from("<H", data, offset + 22)
    magic, = struct.unpack_from("<H", data, offset + 24)
    subsystem, = struct.unpack_from("<H", data, offset + 24 + 68)
    return machine, magic == 0x20B, bool(characteristics & 0x2000), subsystem


def check_package(path, languages, name):
    """`languages`: file name -> bytes the package must hold."""
    with zipfile.ZipFile(path) as package:
        infos = package.infolist()
        names = [info.filename for info in infos]
        wanted = ["package.ini", "package.txt", "Plugin/", "Plugin/Tarvo/"] + PROGRAMS
        if languages:
            wanted += ["Language/"] + ["Language/" + language for language in languages]
        check(sorted(names) == sorted(wanted), f"{name}: entries {names}, expected {sorted(wanted)}")
        for info in infos:
            entry = info.filename
            check("\\" not in entry and not entry.startswith("/") and ".." not in entry.split("/"),
                  f"{name}: entry {entry!r} is not a plain relative path with forward slashes")
            check(entry.isascii() or info.flag_bits & 0x800, f"{name}: {entry!r} is not marked as UTF-8")
            # A folder comes before what it holds, for extractors that make no parents.
            parent = entry.rstrip("/").rpartition("/")[0]
            check(not parent or parent + "/" in names[:names.index(entry)], f"{name}: {entry} before its folder")

        def text(entry):
            try:
                data = package.read(entry)
            except KeyError:
                check(False, f"{name}: no {entry}")
                return ""
            try:
                return data.decode("utf-8")
            except UnicodeDecodeError:
                check(False, f"{name}: {entry} is not UTF-8")
                return ""

        ini = text("package.ini")
        check(not ini.startswith("\ufeff"), f"{name}: package.ini starts with a byte-order mark")
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str  # the editor's keys are case-sensitive
        try:
            parser.read_string(ini)
        except configparser.Error as error:
            check(False, f"{name}: package.ini does not parse: {error}")
        check(parser.sections() == ["package"], f"{name}: package.ini sections {parser.sections()}")
        if parser.has_section("package"):
            keys = dict(parser["package"])
            check(sorted(keys) == ["id", "information", "name", "uninstallSubFolderFile"],
                  f"{name}: package.ini keys {sorted(keys)}")
            check(keys.get("id") == "Tarvo", f"{name}: id {keys.get('id')!r}")
            check(keys.get("uninstallSubFolderFile") == "1", f"{name}: uninstallSubFolderFile {keys.get('uninstallSubFolderFile')!r}")
            check(bool(keys.get("name")) and bool(keys.get("information")), f"{name}: empty name or information")
        readme = text("package.txt")
        # It must tell where ffmpeg.exe goes.
        check("ffmpeg.exe" in readme and "Plugin\\Tarvo\\" in readme, f"{name}: package.txt says nothing of ffmpeg.exe's place")
        for language, data in languages.items():
            entry = "Language/" + language
            if entry in names:
                check(package.read(entry) == data, f"{name}: {entry} differs from its source")
                text(entry)
        for entry in PROGRAMS:
            if entry not in names:
                continue
            kind = pe_kind(package.read(entry))
            dll = entry.endswith(".auo2")
            # x86-64, PE32+, a DLL for the plug-in, console programs (subsystem 3) beside it
            check(kind is not None and kind[:3] == (0x8664, True, dll) and (dll or kind[3] == 3),
                  f"{name}: {entry} is not a 64-bit Windows {'DLL' if dll else 'console program'}: {kind}")


def repack(work, binaries, languages):
    """Runs au2pkg.sh on the extracted binaries and `languages` (name -> bytes)."""
    folder = work / ("languages-%d" % len(list(work.iterdir())))
    folder.mkdir()
    files = []
    for language, data in languages.items():
        (folder / language).write_bytes(data)
        files.append(str(folder / language))
    out = folder / "Tarvo.au2pkg.zip"
    result = subprocess.run(["bash", str(SCRIPT), str(out), str(SCRIPT.parent), "0.0.0", "x86_64-w64-mingw32-objdump"]
                            + binaries + files, capture_output=True, text=True)
    return result, out


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    package, language_dir = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    sources = {path.name: path.read_bytes() for path in sorted(language_dir.glob("*.aul2"))} if language_dir.is_dir() else {}
    check_package(package, sources, "built package")

    with tempfile.TemporaryDirectory() as temp:
        work = pathlib.Path(temp)
        binaries = []
        with zipfile.ZipFile(package) as built:
            for entry in PROGRAMS:
                target = work / os.path.basename(entry)
                target.write_bytes(built.read(entry))
                binaries.append(str(target))
        japanese = "[Tarvo_output]\n出力=出力\n".encode("utf-8")
        cases = [
            ("no language files", {}, True),
            ("two language files", {"Japanese.Tarvo_output.aul2": japanese, "English.Tarvo_output.aul2": b"[x]\n"}, True),
            ("a language file in Shift_JIS", {"Japanese.Tarvo_output.aul2": "出力".encode("shift_jis")}, False),
        ]
        for name, languages, accepted in cases:
            result, out = repack(work, binaries, languages)
            if accepted:
                check(result.returncode == 0, f"{name}: au2pkg.sh failed: {result.stderr.strip()}")
                if out.exists():
                    check_package(out, languages, name)
            else:
                check(result.returncode != 0 and not out.exists(), f"{name}: not refused")
                check("not UTF-8" in result.stderr, f"{name}: says {result.stderr.strip()!r}")

    for failure in failures:
        print("FAIL:", failure)
    print(f"au2pkg: {'FAILED' if failures else 'passed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
