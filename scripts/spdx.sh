#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Every source file git tracks starts with its SPDX line, in the comment
# form of its language (after a shebang line). This adds the missing ones;
# with --check it only names them and fails (the spdx test).
#
#   scripts/spdx.sh [--check]
set -euo pipefail

check=0
case ${1:-} in
--check) check=1 ;;
"") ;;
*)
    echo "usage: $0 [--check]" >&2
    exit 2
    ;;
esac
cd "$(dirname "${BASH_SOURCE[0]}")/.."

id='SPDX-License-Identifier: LGPL-2.1-or-later'
# Not sources: the licence, documents and pictures, data the fuzzers and the
# ABI tests read, and the packaging's records that take no comment or are
# lists (debian/copyright states the licence itself).
exempt='^(COPYING|\.gitignore|fuzz/corpus/.*|tests/abi/baseline/.*|tests/abi/exported-symbols\.txt)$'
exempt+='|^debian/(changelog|copyright|control|source/format|tests/control|[^/]*\.(install|symbols))$'
exempt+='|\.(md|png)$'

# The line a file must carry, by its language; nothing for an unknown one.
spdx_line() {
    case $1 in
    *.cpp | *.h | *.c | *.proto) echo "// $id" ;;
    *.lua) echo "-- $id" ;;
    *.html | *.qrc) echo "<!-- $id -->" ;;
    *.css | *.js) echo "/* $id */" ;;
    *.[1-8]) echo ".\\\" $id" ;;
    *.cmake | *CMakeLists.txt | *.in | *.sh | *.py | *.supp | debian/rules | debian/tests/* | .ci/* | \
        debian/*.service | debian/*.sysusers)
        echo "# $id"
        ;;
    # INI files read with QSettings, to which '#' is no comment.
    *.conf) echo "; $id" ;;
    esac
}

status=0
while IFS= read -r -d '' file; do
    [[ -f $file && ! $file =~ $exempt ]] || continue
    line=$(spdx_line "$file")
    if [[ -z $line ]]; then
        echo "spdx: $file: no comment form known for it; add one to $0 or exempt it" >&2
        status=1
        continue
    fi
    first=$(head -n 1 "$file")
    at=1
    [[ $first != '#!'* ]] || at=2
    [[ $(sed -n "${at}p" "$file") != "$line" ]] || continue
    if ((check)) || [[ $(head -n 3 "$file") == *SPDX-License-Identifier* ]]; then
        echo "spdx: $file: line $at is not '$line'" >&2
        status=1
        continue
    fi
    # In place, so the file keeps its mode.
    tmp=$(mktemp)
    LINE=$line AT=$at awk 'NR == ENVIRON["AT"] { print ENVIRON["LINE"] } { print }
        END { if (NR < ENVIRON["AT"]) print ENVIRON["LINE"] }' "$file" >"$tmp"
    cat "$tmp" >"$file"
    rm -f "$tmp"
    echo "spdx: $file"
done < <(git ls-files -z)
exit $status
