#!/usr/bin/env python3
"""Writes the notices of the third-party code inside the Qt DLLs and plug-ins that Wirelet's
Windows packages ship, from the attribution files (qt_attribution.json) of the qtbase source the
SDK was built from:
    platform/windows/qt-notices.py QTBASE_SOURCE > platform/windows/qt-third-party-notices.txt
QTBASE_SOURCE is Debian 12's qtbase-opensource-src 5.15.8 unpacked (build-qt-sdk.sh leaves it in
its work folder as qtbase/). Which entries ship where was read off the Makefiles of that build
(its configuration: no OpenGL, Vulkan, D-Bus or ICU; Qt's own zlib, libpng, libjpeg, FreeType,
HarfBuzz and PCRE2): the entries for other platforms, for Qt Test and for the parts configured
out are left out. Qt Serial Port bundles no third-party code."""
import json
import pathlib
import sys

SHIPPED = {
    "Qt5Core.dll": [
        "doubleconversion", "easing", "freebsd", "harfbuzz", "md4", "md5", "pcre2", "pcre2-sljit",
        "rfc6234", "sha1", "sha3_endian", "sha3_keccak", "tinycbor", "zlib", "qbig5codecs",
        "qeucjpcodec", "qeuckrcodec", "qjiscodec", "qsjiscodec", "qtsciicodec", "qbkcodec", "psl",
        "unicode-character-database", "unicode-cldr",
    ],
    "Qt5Gui.dll": [
        "harfbuzz-ng", "libpng", "md4c", "icc-sRGB-color-profile", "webgradients", "grayraster",
        "smooth-scaling-algorithm", "xserverhelper", "aglfn",
    ],
    "platforms/qwindows.dll": [
        "freetype", "freetype-zlib", "freetype-bdf", "freetype-pcf", "libpng",
    ],
    "imageformats/qjpeg.dll": ["libjpeg"],
}
# The rasterizer's licence file only points at the FreeType License it is shipped under.
EXTRA = {"grayraster": ["../../3rdparty/freetype/docs/FTL.TXT"]}
RULE = "-" * 78


def entries(source):
    for path in sorted(source.glob("src/**/qt_attribution.json")):
        # Some copyright lines run over several lines inside one JSON string.
        found = json.loads(path.read_text(encoding="utf-8"), strict=False)
        for entry in found if isinstance(found, list) else [found]:
            yield entry["Id"], entry, path.parent


def main():
    source = pathlib.Path(sys.argv[1])
    known = {id: (entry, folder) for id, entry, folder in entries(source)}
    where = {}
    for dll, ids in SHIPPED.items():
        for id in ids:
            where.setdefault(id, []).append(dll)
    print("Third-party code in the Qt libraries shipped with Wirelet\n")
    print("The Qt 5.15.8 DLLs and plug-ins beside Wirelet.exe contain code by others, as Qt's")
    print("attribution files (qt_attribution.json) in Qt's qtbase source list it. Each notice")
    print("below names the file that contains the code.")
    printed = {}
    for id, dlls in where.items():
        entry, folder = known[id]
        print(f"\n{RULE}\n{entry['Name']} {entry.get('Version', '')}".rstrip())
        print(f"In: {', '.join(dlls)}")
        if entry.get("Homepage"):
            print(entry["Homepage"])
        print(f"\n{entry['Copyright'].strip()}\n\nLicence: {entry['License']}")
        files = (entry.get("LicenseFiles") or [entry.get("LicenseFile")]) + EXTRA.get(id, [])
        for name in filter(None, files):
            text = (folder / name).resolve()
            if text in printed:
                print(f"(the text given above for {printed[text]})")
                continue
            printed[text] = entry["Name"]
            print("\n" + text.read_text(encoding="utf-8", errors="replace").strip())


main()
