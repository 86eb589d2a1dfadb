#!/bin/sh
# The Debian package holds every installed file and nothing else, its dependencies come from
# the binaries, and its desktop entry finds its program and icon inside the package.
# usage: deb_test.sh BUILD_DIR WORK_DIR PREFIX DOCDIR VERSION
set -u
build=$1 work=$2 prefix=$3 docdir=$4 version=$5
id=org.quietbox.quietbox
status=0
fail() { echo "FAIL: $*"; status=1; }

rm -rf "$work" && mkdir -p "$work" || exit 1
DESTDIR="$work/root" cmake --install "$build" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
cpack -G DEB -B "$work/pkg" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$work"/pkg/quietbox_"$version"_*.deb) || { echo "FAIL: no quietbox_$version .deb"; exit 1; }

(cd "$work/root" && find . ! -type d | sed 's|^\.||' | sort) >"$work/installed"
dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\.||' | grep -v '/$' | sort >"$work/packaged"
missing=$(comm -23 "$work/installed" "$work/packaged")
extra=$(comm -13 "$work/installed" "$work/packaged")
[ -z "$missing" ] || fail "installed but not in the package: $missing"
[ -z "$extra" ] || fail "in the package but not installed: $extra"

for f in bin/quietbox bin/quietbox-archive bin/quietbox-docs share/man/man1/quietbox.1.gz \
         share/man/man1/quietbox-archive.1.gz share/man/man1/quietbox-docs.1.gz share/applications/$id.desktop \
         share/metainfo/$id.metainfo.xml share/mime/packages/$id.xml \
         share/bash-completion/completions/quietbox-archive share/bash-completion/completions/quietbox-docs; do
    grep -qx "$prefix/$f" "$work/packaged" || fail "package lacks $prefix/$f"
done
for f in index.html gs.html copyright changelog.gz; do
    grep -qx "$docdir/$f" "$work/packaged" || fail "package lacks $docdir/$f"
done

desktop="$work/root$prefix/share/applications/$id.desktop"
exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
grep -qx "$prefix/bin/$exec" "$work/packaged" || fail "Exec=$exec is not in the package"
grep -qE "^$prefix/share/icons/hicolor/[^/]+/apps/$icon\.(png|svg)\$" "$work/packaged" ||
    fail "Icon=$icon is not in the package"

depends=$(dpkg-deb --field "$deb" Depends)
for lib in libqt6widgets6 libsqlcipher0 zlib1g; do
    echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: $depends"
done
exit $status
