#!/usr/bin/env bash
# finish_deb.sh PACKAGE.deb: takes a package as cpack made it the last steps
# dh_strip and dh_makeshlibs would, in place:
#  - a library's ldconfig runs from its trigger, not from maintainer
#    scripts (cpack writes postinst and postrm that only call ldconfig);
#  - binaries lose the .comment and .note sections, which hold nothing a
#    user needs;
#  - a library's symbols file is made from the template in
#    packaging/debian, which also checks the library still exports all of
#    it and nothing more (dpkg-gensymbols -c4);
#  - md5sums is made anew for what changed.
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -R "$deb" "$work/root"
control=$work/root/DEBIAN
if [ -f "$control/triggers" ]; then
    for script in postinst postrm; do
        [ -f "$control/$script" ] || continue
        # Nothing but the shell line, set -e and ldconfig for one action.
        if ! grep -vqE '^(#!/bin/sh|set -e|if \[ "\$1" = "(configure|remove)" \]; then|[[:space:]]*ldconfig|fi|)$' "$control/$script"; then
            rm "$control/$script"
        fi
    done
fi
if [ -f "$control/symbols" ]; then
    package=$(dpkg-deb -f "$deb" Package)
    version=$(dpkg-deb -f "$deb" Version)
    mv "$control/symbols" "$work/template"
    (cd "$work" && dpkg-gensymbols -c4 -p"$package" -v"$version" -P"$work/root" -I"$work/template" \
        -O"$control/symbols" >&2)
fi
while IFS= read -r -d '' file; do
    if file -b "$file" | grep -q '^ELF'; then
        extra=()
        file -b "$file" | grep -q 'shared object' && ! file -b "$file" | grep -q 'pie executable' && extra=(--strip-unneeded)
        strip --remove-section=.comment --remove-section=.note "${extra[@]}" "$file"
    fi
done < <(find "$work/root" -path "$control" -prune -o -type f -print0)
(cd "$work/root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z | xargs -0 md5sum) \
    > "$control/md5sums"
dpkg-deb --root-owner-group -Zxz --build "$work/root" "$deb" >/dev/null
