#!/usr/bin/env bash
# Builds the Qt 5.15.8 SDK for 64-bit Windows that scripts/windows.sh cross-builds against, from
# Debian 12's source packages of qtbase and Qt Serial Port, with Debian's MinGW-w64 (GCC 12,
# POSIX threads, SEH), and packs it as qt-5.15.8-mingw64/ in a .tar.xz:
#   platform/windows/build-qt-sdk.sh [ARCHIVE]   # default build-qt-sdk/qt-5.15.8-mingw64.tar.xz
#   WIRELET_QT_SDK=ARCHIVE scripts/windows.sh
# 55 minutes under nice -n 19 on 2 cores shared with other work (36 minutes of CPU); it works in
# $WIRELET_QT_SDK_WORK (default build-qt-sdk/work, 1.9 GB) and picks up where an interrupted run
# stopped. Adds a deb-src entry for bookworm as root when there is none. Debian's own patches are
# for its Linux packages: not applied.
# Where Debian's Qt Serial Port source cannot be fetched, the module is built from Qt's own
# source at tag v5.15.8-lts-lgpl instead: $WIRELET_QT_SERIALPORT_SOURCE, by default
# ../shared/toolchains/qtserialport-everywhere-src-5.15.8.tar.xz, checked against its sha256.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
archive="$(realpath -m "${1:-$root/build-qt-sdk/qt-5.15.8-mingw64.tar.xz}")"
work="$(realpath -m "${WIRELET_QT_SDK_WORK:-$root/build-qt-sdk/work}")"
serialport_tag_archive=$root/../shared/toolchains/qtserialport-everywhere-src-5.15.8.tar.xz
serialport_tag_archive="$(realpath -m "${WIRELET_QT_SERIALPORT_SOURCE:-$serialport_tag_archive}")"
serialport_tag_sha256=6958041d9f09ec1a03aeb6f1d589025af217883bf5b4f42e2fc8e6eaceb12648
name=qt-5.15.8-mingw64
as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)
say() { echo "build-qt-sdk: $*" >&2; }

"$root/scripts/install-packages.sh" g++-mingw-w64-x86-64-posix g++ make perl dpkg-dev patch \
    xz-utils

# apt-get source needs a deb-src entry: copy the one bookworm's binary packages come from (same
# mirror, same key), as Types: deb-src.
if [[ -z "$(apt-get indextargets 'Identifier: Sources' 'Release: bookworm')" ]]; then
    entry="$(apt-get indextargets --format '$(SOURCESENTRY)' 'Identifier: Packages' \
        'Release: bookworm' | head -n 1)"
    [[ -n "$entry" ]] || { say "apt knows no bookworm archive to take sources from"; exit 1; }
    file="${entry%:*}" n="${entry##*:}" found="$(mktemp)"
    if [[ "$file" == *.sources ]]; then # n counts stanzas
        grep -v '^#' "$file" | awk -v n="$n" -v RS= 'NR == n' |
            sed 's/^Types:.*/Types: deb-src/' >"$found"
        list=/etc/apt/sources.list.d/wirelet-deb-src.sources
    else # n counts lines
        sed -nE "${n}s/^\s*deb\s/deb-src /p" "$file" >"$found"
        list=/etc/apt/sources.list.d/wirelet-deb-src.list
    fi
    say "adding a deb-src entry for bookworm as root: $list"
    "${as_root[@]}" cp "$found" "$list"
    "${as_root[@]}" chmod 644 "$list"
    rm "$found"
    "${as_root[@]}" apt-get update
elif ! apt-cache showsrc --only-source qtbase-opensource-src 2>/dev/null |
    grep '^Version: 5\.15\.8' >/dev/null; then
    "${as_root[@]}" apt-get update
fi

# Fetch both sources first, so that a missing one stops the run before the build.
mkdir -p "$work/src"
cd "$work/src"
fetch() # package, its upstream tarball
{
    [[ -f "$2" ]] && return
    apt-get source --download-only "$1" && [[ -f "$2" ]]
}
qtbase_tarball=qtbase-opensource-src_5.15.8+dfsg.orig.tar.xz
fetch qtbase-opensource-src "$qtbase_tarball" ||
    { say "could not fetch $qtbase_tarball with apt-get source"; exit 1; }
serialport_tarball=qtserialport-opensource-src_5.15.8.orig.tar.xz
if ! fetch qtserialport-opensource-src "$serialport_tarball"; then
    say "could not fetch $serialport_tarball with apt-get source: building $serialport_tag_archive"
    echo "$serialport_tag_sha256  $serialport_tag_archive" | sha256sum --check --quiet ||
        { say "$serialport_tag_archive is not Qt Serial Port 5.15.8 as tagged"; exit 1; }
    serialport_tarball="$serialport_tag_archive"
fi

# Unpacks a tarball's one top folder as $2, patched with $3 if given; kept from an earlier run.
unpack() # tarball, folder, [patch]
{
    [[ -d "$2" ]] && return
    rm -rf "$2.part" && mkdir "$2.part"
    tar -xJf "$1" -C "$2.part"
    local top=("$2.part"/*)
    [[ -z "${3:-}" ]] || patch -d "${top[0]}" -p1 --quiet <"$3"
    mv "${top[0]}" "$2" && rmdir "$2.part"
}
unpack "$qtbase_tarball" "$work/qtbase" "$root/platform/windows/qtbase-no-wintab.patch"
unpack "$serialport_tarball" "$work/qtserialport"

# Qt's win32-g++ mkspec calls x86_64-w64-mingw32-gcc and -g++, which Debian points at whichever
# threading model it prefers: pin the POSIX one, which libwinpthread and the run time expect.
mkdir -p "$work/cross"
for tool in gcc g++; do
    printf '#!/bin/sh\nexec /usr/bin/x86_64-w64-mingw32-%s-posix "$@"\n' "$tool" \
        >"$work/cross/x86_64-w64-mingw32-$tool"
    chmod +x "$work/cross/x86_64-w64-mingw32-$tool"
done
export PATH="$work/cross:$PATH"

# All of qtbase, as the prebuilt archive was built (its mkspecs/ names every module), with host
# tools for Linux; the bundled third-party libraries keep the DLLs free of MinGW packages of them.
# Qt finds its prefix at run time, so the install folder is scratch.
prefix="$work/install"
mkdir -p "$work/qtbase-build"
cd "$work/qtbase-build"
[[ -f Makefile ]] || "$work/qtbase/configure" -xplatform win32-g++ \
    -device-option CROSS_COMPILE=x86_64-w64-mingw32- -prefix "$prefix" \
    -opensource -confirm-license -release -shared -strip -nomake examples -nomake tests \
    -no-opengl -no-dbus -no-icu -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz \
    -qt-pcre -no-sql-sqlite -no-sql-odbc -no-sql-psql -no-sql-mysql
make -j"$(nproc)"
make install

mkdir -p "$work/qtserialport-build"
cd "$work/qtserialport-build"
# Qt's release tarballs carry the module's headers in include/; a tag's archive does not, and is
# no git checkout either, so qmake would not run syncqt: make them here, and since the install
# step then leaves the public ones out, copy those in after it.
tag_archive=
[[ -d "$work/qtserialport/include" ]] || tag_archive=1
[[ -z "$tag_archive" || -d include ]] ||
    perl "$prefix/bin/syncqt.pl" -module QtSerialPort -version 5.15.8 -outdir "$PWD" \
        "$work/qtserialport"
[[ -f Makefile ]] || "$prefix/bin/qmake" "$work/qtserialport"
make -j"$(nproc)"
make install
if [[ -n "$tag_archive" ]]; then
    cp include/QtSerialPort/{QSerialPort,QSerialPortInfo,QtSerialPort,QtSerialPortVersion} \
        include/QtSerialPort/qtserialportversion.h \
        "$work"/qtserialport/src/serialport/qserial{port,portinfo,portglobal}.h \
        "$prefix/include/QtSerialPort/"
fi

# What a Qt Widgets and Serial Port program and its Qt Test executables need.
stage="$work/stage/$name"
rm -rf "$work/stage"
mkdir -p "$stage"/{bin,lib/cmake,include,plugins/platforms,plugins/imageformats,plugins/styles}
cd "$prefix"
cp bin/{moc,rcc,uic,qmake} "$stage/bin/"
for module in Core Gui Widgets Test SerialPort; do
    cp "bin/Qt5$module.dll" "$stage/bin/"
    cp "lib/libQt5$module.a" "$stage/lib/"
    cp -r "include/Qt$module" "$stage/include/"
    cp -r "lib/cmake/Qt5$module" "$stage/lib/cmake/"
done
cp lib/libqtmain.a "$stage/lib/"
cp -r lib/cmake/Qt5 "$stage/lib/cmake/"
cp -r mkspecs "$stage/"
cp plugins/platforms/{qwindows,qoffscreen,qminimal}.dll "$stage/plugins/platforms/"
cp plugins/imageformats/{qjpeg,qico,qgif}.dll "$stage/plugins/imageformats/"
cp plugins/styles/qwindowsvistastyle.dll "$stage/plugins/styles/"
# find_package would fail on the CMake file of a plug-in that is not there.
keep='QWindowsIntegration|QOffscreenIntegration|QMinimalIntegration'
keep+='|QJpeg|QICO|QGif|QWindowsVistaStyle'
find "$stage/lib/cmake" -name 'Qt5*_*Plugin.cmake' | grep -vE "_($keep)Plugin\.cmake$" |
    xargs -r rm -f
cp "$work/qtbase/LICENSE.LGPL3" "$stage/"

mkdir -p "$(dirname "$archive")"
tar -C "$work/stage" --sort=name --owner=0 --group=0 --numeric-owner -cJf "$archive.part" "$name"
mv "$archive.part" "$archive"
say "$archive ($(du -h "$archive" | cut -f1)) in $((SECONDS / 60)) min"
