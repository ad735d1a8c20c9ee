#!/usr/bin/env bash
# Builds the Debian package of a build tree, checks that it holds everything the install rules
# lay out (the programs, the module, the units, the docs), that its dependencies were derived
# and its units name the packaged programs, and checks it with lintian.
# Usage: package.sh BUILD_DIR. Exits 77 (skipped) where the Debian tools are missing.
set -euo pipefail
build="$1"
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is missing (scripts/setup installs it)"
        exit 77
    fi
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
deb=("$work"/out/mondrel_*.deb)
[ -f "${deb[0]}" ] || { echo "no package made"; cat "$work/cpack.log"; exit 1; }
echo "package: $(basename "${deb[0]}")"
dpkg-deb -c "${deb[0]}"
dpkg-deb -f "${deb[0]}" Package Version Architecture Depends

fail=0
# Exactly what the install rules lay out under /usr.
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >/dev/null
(cd "$work/stage" && find . -type f | sort) >"$work/installed"
dpkg-deb -c "${deb[0]}" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/packaged"
if ! diff -u "$work/installed" "$work/packaged"; then
    echo "the package differs from what the install rules lay out"
    fail=1
fi
for file in usr/bin/nhx-host usr/bin/mondrel-db usr/bin/mondrel-web usr/lib/nhx/Core.Mondrel.so \
    usr/lib/nhx/refresh-databases usr/lib/systemd/system/nhx-host.service \
    usr/lib/systemd/system/mondrel-web.service usr/share/doc/mondrel/copyright \
    usr/lib/systemd/system/mondrel-refresh.service usr/lib/systemd/system/mondrel-refresh.timer \
    usr/share/doc/mondrel/README.md usr/share/doc/mondrel/docs/firing.md \
    usr/share/man/man1/nhx-host.1.gz usr/share/man/man1/mondrel-db.1.gz; do
    grep -qx "./$file" "$work/packaged" || { echo "missing from the package: $file"; fail=1; }
done
depends="$(dpkg-deb -f "${deb[0]}" Depends)"
for library in libsqlite3-0 libqt6widgets6 libmosquitto1; do
    [[ "$depends" == *"$library"* ]] || { echo "Depends lacks $library"; fail=1; }
done
dpkg-deb -x "${deb[0]}" "$work/root"
if grep -l /usr/local "$work"/root/usr/lib/systemd/system/*; then
    echo "a unit names /usr/local instead of the packaged programs"
    fail=1
fi

echo "lintian:"
status=0
lintian --fail-on error,warning "${deb[0]}" >"$work/lintian" 2>&1 || status=$?
grep -v "running with root privileges" "$work/lintian" || true
[ "$status" -eq 0 ] || { echo "lintian found errors or warnings"; fail=1; }
exit "$fail"
