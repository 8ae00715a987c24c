#!/usr/bin/env bash
# The desktop entry opens a file it is given, and the parameters files' type claims "*.asc": the
# MIME package compiles with the desktop's own tool and yields that glob.
set -euo pipefail
res="$1"
grep -qx 'Exec=corvella %f' "$res/corvella.desktop"
grep -qx 'MimeType=application/x-corvella-parameters;' "$res/corvella.desktop"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mime/packages"
cp "$res/corvella-parameters.xml" "$work/mime/packages/"
update-mime-database "$work/mime"
grep -q '^50:application/x-corvella-parameters:\*\.asc' "$work/mime/globs2"
grep -q 'application/x-corvella-parameters' "$work/mime/types"
