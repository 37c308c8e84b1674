#!/usr/bin/env bash
# The manual page lists exactly the options --help lists.
set -euo pipefail
kestrove="$1"
page="$(cd "$(dirname "$0")/../.." && pwd)/packaging/kestrove.6.in"
from_help="$("$kestrove" --help | grep -oE -- '--[a-z]+' | sort -u)"
from_page="$(grep -E '^\.BI? \\-\\-' "$page" | grep -oE -- '\\-\\-[a-z]+' | tr -d '\\' | sort -u)"
if [ "$from_help" != "$from_page" ]; then
  diff <(echo "$from_help") <(echo "$from_page") | sed 's/^</--help only:/; s/^>/page only:/'
  exit 1
fi
echo "ok: $(echo "$from_help" | wc -l) options"
