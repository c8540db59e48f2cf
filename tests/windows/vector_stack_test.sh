#!/usr/bin/env bash
# Fails when the object of engine/text/ByteScanAvx2.cpp or ByteScanAvx512.cpp moves a
# vector to or from the stack with an instruction that needs the vector's alignment:
# Windows keeps its stack 16-byte aligned, and a 32- or 64-byte aligned move there
# faults at random.
# usage: vector_stack_test.sh OBJDUMP "OBJECT;OBJECT;..."
set -euo pipefail
objdump=$1
IFS=';' read -r -a objects <<<"$2"
# The object built from `source`, and the registers its instruction set brings.
check() {
    local source=$1 registers=$2 object= candidate
    for candidate in "${objects[@]}"; do
        [[ $candidate == */$source.obj ]] && object=$candidate
    done
    [ -n "$object" ] || { echo "vector stack test: no $source object among the engine's" >&2; exit 1; }
    local code vectors aligned
    code=$("$objdump" -d --no-show-raw-insn "$object")
    vectors=$(grep -c "%$registers" <<<"$code" || true)
    [ "$vectors" -gt 0 ] || { echo "vector stack test: $object uses no %$registers register" >&2; exit 1; }
    aligned=$(grep -E '\s(v?movap[sd]|v?movdqa(32|64)?|v?movnt(dqa?|p[sd]))\s.*\(%r[sb]p[,)]' <<<"$code" |
        grep -E '%ymm|%zmm|vmovnt|movnt' || true)
    if [ -n "$aligned" ]; then
        echo "vector stack test: aligned vector moves to or from the stack in $object:" >&2
        echo "$aligned" >&2
        exit 1
    fi
    echo "vector stack test: $source, $vectors instructions on %$registers, no aligned vector move on the stack"
}
check ByteScanAvx2.cpp ymm
check ByteScanAvx512.cpp zmm
