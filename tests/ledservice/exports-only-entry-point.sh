#!/usr/bin/env bash
# Fails unless the module given exports exactly the service lookup entry point: anything else in
# its dynamic symbol table is surface a caller could come to depend on.
# Usage: exports-only-entry-point.sh MODULE
set -euo pipefail
exported=$(nm -D --defined-only "$1" | awk '{print $3}')
if [[ $exported != bw_service_lookup_class ]]; then
    printf '%s exports:\n%s\n' "$1" "$exported"
    exit 1
fi
echo "$1 exports bw_service_lookup_class alone"
