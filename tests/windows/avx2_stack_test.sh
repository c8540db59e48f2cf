#!/usr/bin/env bash
# Fails when the object of engine/text/ByteScanAvx2.cpp moves a vector to or from
# the stack with an instruction that needs the vector's alignment: Windows keeps
# its stack 16-byte aligned, and a 32-byte aligned move there faults at random.
# usage: avx2_stack_test.sh OBJDUMP "OBJECT;OBJECT;..."
set -euo pipefail
objdump=$1
object=
IFS=';' read -r -a objects <<<"$2"
for candidate in "${objects[@]}"; do
    [[ $candidate == */ByteScanAvx2.cpp.obj ]] && object=$candidate
done
[ -n "$object" ] || { echo "avx2 stack test: no ByteScanAvx2 object among the engine's" >&2; exit 1; }
code=$("$objdump" -d --no-show-raw-insn "$object")
vectors=$(grep -c '%ymm' <<<"$code" || true)
[ "$vectors" -gt 0 ] || { echo "avx2 stack test: $object holds no AVX2 instruction" >&2; exit 1; }
aligned=$(grep -E '\s(v?movap[sd]|v?movdqa(32|64)?|v?movnt(dqa?|p[sd]))\s.*\(%r[sb]p[,)]' <<<"$code" |
    grep -E '%ymm|%zmm|vmovnt|movnt' || true)
if [ -n "$aligned" ]; then
    echo "avx2 stack test: aligned vector moves to or from the stack in $object:" >&2
    echo "$aligned" >&2
    exit 1
fi
echo "avx2 stack test: $vectors AVX2 instructions, no aligned vector move on the stack"
