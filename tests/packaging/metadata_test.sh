#!/bin/sh
# The desktop entry and the AppStream metainfo pass their validators without a single remark,
# and agree on the application id; the newest release and changelog entry are the project's
# version.
# usage: metadata_test.sh SOURCE_DIR BUILT_METAINFO VERSION WORK_DIR
set -u
src=$1 metainfo=$2 version=$3 work=$4
status=0
fail() { echo "FAIL: $*"; status=1; }

id=$(basename "$metainfo" .metainfo.xml)
desktop=$src/packaging/$id.desktop

out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate exit status"
[ -z "$out" ] || fail "desktop-file-validate: $out"

out=$(appstreamcli validate --pedantic "$metainfo" 2>&1) || fail "appstreamcli exit status"
echo "$out" | grep -E '^[EWIP]: ' && fail "appstreamcli remarks on $metainfo"

# With a screenshot address the generated screenshots validate too.
mkdir -p "$work"
cmake -DTEMPLATE="$src/packaging/$id.metainfo.xml.in" -DOUTPUT="$work/$id.metainfo.xml" \
      -DBASE_URL=https://example.org/quietbox/doc/images/ -P "$src/cmake/QuietboxMetainfo.cmake" ||
    fail "metainfo with screenshots not written"
grep -c '<screenshot' "$work/$id.metainfo.xml" | grep -qx 5 || fail "expected 4 screenshots"
out=$(appstreamcli validate --pedantic --no-net "$work/$id.metainfo.xml" 2>&1) ||
    fail "appstreamcli exit status with screenshots"
echo "$out" | grep -E '^[EWIP]: ' && fail "appstreamcli remarks with screenshots"

grep -q "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "launchable"
grep -qx "Icon=$id" "$desktop" || fail "desktop Icon is not $id"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "newest release $newest, project version $version"
logged=$(dpkg-parsechangelog -l "$src/packaging/changelog" -S Version) || fail "packaging/changelog"
[ "$logged" = "$version" ] || fail "packaging/changelog is at $logged, project version $version"
exit $status
