#!/usr/bin/env bash
# cmake --install into a staging root: every file lands below the prefix,
# nothing is missing or stray, and each file is what its consumers accept
# (desktop-file-validate, appstreamcli, update-mime-database, man, bash).
set -euo pipefail
build=$1 src=$2 version=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

prefix=/opt/ranvista-test
DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null
p=$stage$prefix
id=org.ranvista.Ranvista

# Nothing outside the prefix.
outside=$(cd "$stage" && find . -mindepth 1 ! -type d ! -path ".$prefix/*")
[ -z "$outside" ] || fail "installed outside the prefix: $outside"

# The layout desktops, man and bash look in: nothing missing, nothing else.
expected=(
    bin/ranvista bin/ranvista-cli
    share/applications/$id.desktop
    share/metainfo/$id.metainfo.xml
    share/mime/packages/ranvista.xml
    share/icons/hicolor/scalable/apps/$id.svg
    share/man/man1/ranvista.1 share/man/man1/ranvista-cli.1
    share/bash-completion/completions/ranvista share/bash-completion/completions/ranvista-cli
    share/zsh/vendor-completions/_ranvista-cli
    share/doc/ranvista/README.md share/doc/ranvista/LICENSE share/doc/ranvista/copyright
    share/doc/ranvista/docs/screenshot-main.png share/doc/ranvista/docs/screenshot-analyse.png
    share/doc/ranvista/docs/screenshot-workspace.png share/doc/ranvista/docs/screenshot-m20.png
    share/doc/ranvista/docs/accuracy.png
)
sizes=(16 22 24 32 48 64 128 256)
for s in "${sizes[@]}"; do expected+=("share/icons/hicolor/${s}x$s/apps/$id.png"); done
actual=$(cd "$p" && find . ! -type d | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
missing=$(comm -13 <(echo "$actual") <(echo "$wanted"))
stray=$(comm -23 <(echo "$actual") <(echo "$wanted"))
[ -z "$missing" ] || fail "not installed: $missing"
[ -z "$stray" ] || fail "unexpected files: $stray"

# The programs run from the prefix and tell the project's version; the
# desktop application answers without a display.
for prog in ranvista ranvista-cli; do
    [ -x "$p/bin/$prog" ] || fail "$prog is not executable"
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$p/bin/$prog" --version) ||
        fail "$prog --version failed"
    [ "$(head -n1 <<<"$out")" = "$prog $version" ] || fail "$prog --version says '$out'"
done

# Desktop entry: valid (hints allowed), names our program and our icon.
desktop=$p/share/applications/$id.desktop
if ! report=$(desktop-file-validate "$desktop" 2>&1) || grep -qE 'error:|warning:' <<<"$report"; then
    fail "desktop-file-validate: $report"
fi
exec_prog=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$p/bin/$exec_prog" ] || fail "Exec= names '$exec_prog', which is not installed"
grep -q '^Exec=.* %F$' "$desktop" || fail "Exec= does not take files (%F)"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$p/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon= '$icon' is not installed"

# Every MIME type it opens is one the system knows or one we define.
mimedb=$stage/mime
mkdir -p "$mimedb/packages"
cp "$p/share/mime/packages/ranvista.xml" "$mimedb/packages/"
XDG_DATA_DIRS=$stage:/usr/share update-mime-database "$mimedb" 2>&1 | grep . && fail "update-mime-database complained"
for type in $(sed -n 's/^MimeType=//p' "$desktop" | tr ';' ' '); do
    [ -f "/usr/share/mime/$type.xml" ] || [ -f "$mimedb/$type.xml" ] ||
        fail "MimeType $type is neither known nor defined"
done

# AppStream metainfo: valid, launches our desktop entry, this release listed.
metainfo=$p/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" >/dev/null 2>&1 ||
    fail "appstreamcli validate: $(appstreamcli validate --no-net "$metainfo" 2>&1)"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "metainfo does not launch $id.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo lacks release $version"
grep -q "<image>.*/docs/screenshot-main.png</image>" "$metainfo" || fail "metainfo lacks the screenshot"

# Icons: each bitmap has the size of its folder.
for s in "${sizes[@]}"; do
    f=$p/share/icons/hicolor/${s}x$s/apps/$id.png
    [ -f "$f" ] && { file "$f" | grep -q "PNG image data, $s x $s," || fail "$f is not ${s}x$s"; }
done

# Manual pages render without a warning and document every option the
# programs' --help shows.
for page in ranvista ranvista-cli; do
    f=$p/share/man/man1/$page.1
    err=$(MANWIDTH=80 man --warnings -l "$f" 2>&1 >/dev/null) || fail "man -l $page.1 failed"
    [ -z "$err" ] || fail "man -l $page.1 warns: $err"
    rendered=$(MANWIDTH=200 man -l "$f" 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g; s/.\x08//g')
    help=$(env -u DISPLAY "$p/bin/$page" --help)
    for option in $(grep -oE -- '--[a-z0-9][a-z0-9-]*' <<<"$help" | sort -u); do
        grep -q -- "$option" <<<"$rendered" || fail "$page.1 does not document $option"
    done
done
for command in $(env -u DISPLAY "$p/bin/ranvista-cli" --help | sed -n '/^commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p'); do
    cli_page=$(MANWIDTH=200 man -l "$p/share/man/man1/ranvista-cli.1" 2>/dev/null)
    grep -q -- "ranvista-cli $command" <<<"$cli_page" || fail "ranvista-cli.1 lacks $command"
    for option in $("$p/bin/ranvista-cli" "$command" --help | grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u); do
        grep -q -- "$option" <<<"$cli_page" || fail "ranvista-cli.1 does not document $command $option"
    done
done

# Bash completion: completes commands and a command's options. The
# bash-completion helpers are stood in for by minimal versions.
completion=$(bash -c '
    _init_completion() { cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}; words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD; }
    _filedir() { COMPREPLY=(FILES); }
    source "$1"
    COMP_WORDS=(ranvista-cli mea); COMP_CWORD=1; _ranvista_cli; echo "${COMPREPLY[*]}"
    COMP_WORDS=(ranvista-cli measure --pix); COMP_CWORD=2; _ranvista_cli; echo "${COMPREPLY[*]}"
    COMP_WORDS=(ranvista-cli measure --left ""); COMP_CWORD=3; _ranvista_cli; echo "${COMPREPLY[*]}"
' _ "$p/share/bash-completion/completions/ranvista-cli")
[ "$completion" = $'measure\n--pixels\nFILES' ] || fail "bash completion gave: $completion"
bash -n "$p/share/bash-completion/completions/ranvista" || fail "ranvista completion is not bash"
if command -v zsh >/dev/null; then
    zsh -n "$p/share/zsh/vendor-completions/_ranvista-cli" || fail "_ranvista-cli is not zsh"
fi

# Documentation: the README and licence as they are in the sources.
cmp -s "$src/README.md" "$p/share/doc/ranvista/README.md" || fail "README.md differs"
cmp -s "$src/LICENSE" "$p/share/doc/ranvista/LICENSE" || fail "LICENSE differs"
cmp -s "$src/LICENSE" "$p/share/doc/ranvista/copyright" || fail "copyright differs"

[ "$failures" -eq 0 ] || exit 1
echo "installed files: all $(wc -l <<<"$actual") checked"
