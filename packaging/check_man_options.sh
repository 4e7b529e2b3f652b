#!/usr/bin/env bash
# Compares the long options a man page lists with those the program's --help
# lists; prints both sets and fails when they differ.
set -euo pipefail
program="$1"
page="$2"
options() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }
from_help="$("$program" --help 2>&1 | options)"
from_page="$(zcat "$page" | sed 's/\\-/-/g' | options)"
if [ "$from_help" != "$from_page" ]; then
    echo "options in --help:"; echo "$from_help"
    echo "options in the man page:"; echo "$from_page"
    exit 1
fi
echo "$(echo "$from_help" | wc -l) options agree"
