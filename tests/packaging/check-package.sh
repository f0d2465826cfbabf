#!/usr/bin/env bash
# Builds the Debian package from the build folder, checks its dependencies
# were computed, unpacks it into a temporary root (dpkg -x) and measures a
# sample pair with the ranvista-cli found there.
set -euo pipefail
build=$1 src=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/out/*.deb)
[ "$(basename "$deb")" = "ranvista_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "package named $(basename "$deb")"

# Dependencies come from dpkg-shlibdeps: the C and Qt libraries with versions.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in 'libc6 (>= ' 'libqt6widgets6 (>= ' 'libstdc++6 (>= ' qt6-qpa-plugins; do
    grep -qF "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
# Every path in the package is below /usr.
stray=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -vE '^\./(usr/.*)?$' || true)
[ -z "$stray" ] || fail "package files outside /usr: $stray"

root=$work/root
dpkg -x "$deb" "$root"
cli=$root/usr/bin/ranvista-cli
[ "$("$cli" --version | head -n1)" = "ranvista-cli $version" ] || fail "ranvista-cli --version"

# The first true point of the Opportunity Navcam sample: its range from
# truth.csv within the ±1-pixel spread.
cd "$src/samples"
row=$(sed -n 2p oppy-navcam/truth.csv)
IFS=, read -r left right x y z lc lr rc rr <<<"$row"
result=$("$cli" measure --db ImgBinDat --left "$left" --right "$right" --pixels "$lc,$lr,$rc,$rr" --json)
python3 - "$result" "$x" "$y" "$z" <<'PY' || fail "measure from the package: $result"
import json, math, sys
r = json.loads(sys.argv[1])
truth = math.dist([0, 0, 0], [float(v) for v in sys.argv[2:5]])
assert r["ok"] and r["left_record"] and r["right_record"], r
assert abs(r["range"] - truth) < 1e-3, (r["range"], truth)
PY
echo "package $(basename "$deb") measures from an unpacked root"
