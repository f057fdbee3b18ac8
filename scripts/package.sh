#!/usr/bin/env bash
# Makes the Debian packages tessival-batch and tessival with cpack and checks them: lintian
# (any error or warning fails), the AppStream metadata (appstreamcli validate) and the menu
# entry (desktop-file-validate).
#
#   scripts/package.sh          builds the programs alone in build-package/ (RelWithDebInfo:
#                               the debug information goes to -dbgsym packages, as in Debian)
#   scripts/package.sh FOLDER   packages what FOLDER has built already (CI: build/, which
#                               ./test made; a Release build, so the programs are stripped)
#
# The packages land in FOLDER/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --package
if [ $# -eq 0 ]; then
  build=build-package
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIVAL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)"
else
  build=$1
fi
[ -f "$build/CPackConfig.cmake" ] || { echo "$build is no configured build folder" >&2; exit 2; }

out="$build/packages"
rm -rf "$out"
if ! cpack --config "$build/CPackConfig.cmake" -B "$out" >"$build/cpack.log" 2>&1; then
  cat "$build/cpack.log" >&2
  exit 1
fi
rm -rf "$out/_CPack_Packages"

status=0
# The menu entry and the AppStream metadata as the desktop package ships them.
desktop_deb=$(ls "$out"/tessival_*.deb 2>/dev/null || true)
if [ -n "$desktop_deb" ]; then
  tree=$(mktemp -d)
  trap 'rm -rf "$tree"' EXIT
  dpkg-deb --extract "$desktop_deb" "$tree"
  for entry in "$tree"/usr/share/applications/*.desktop; do
    echo "== desktop-file-validate ${entry#"$tree"}"
    desktop-file-validate "$entry" || status=1
  done
  for metainfo in "$tree"/usr/share/metainfo/*.metainfo.xml; do
    echo "== appstreamcli validate ${metainfo#"$tree"}"
    # --no-net: the addresses of the screenshots and the web site are not fetched.
    appstreamcli validate --no-net --explain "$metainfo" || status=1
  done
fi

for deb in "$out"/*.deb; do
  echo "== $(basename "$deb")"
  dpkg-deb --field "$deb" Package Version Installed-Size Depends
  dpkg-deb --contents "$deb" | awk '{ print "  " $1, $6 }'
done
echo "== lintian"
# Errors and warnings fail; the informational tags are shown too.
lintian --fail-on error,warning --display-info "$out"/*.deb || status=1
[ $status -eq 0 ] && echo "packages made and checked: $(cd "$out" && ls)"
exit $status
