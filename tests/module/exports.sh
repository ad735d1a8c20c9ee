#!/bin/sh
# The built module exports exactly one symbol, NHXModuleInfo.
set -eu
symbols=$(nm -D --defined-only "$1" | awk '$2 ~ /^[TtWwDdBbRrVviu]$/ {print $3}' | grep -v '^$' || true)
echo "exported: $symbols"
[ "$symbols" = "NHXModuleInfo" ]
