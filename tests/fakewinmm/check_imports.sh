#!/bin/sh
# Fails when a program imports a winmm function that the stand-in winmm.dll
# does not export, since Wine would then refuse to start the program with it.
#   check_imports.sh IMPORTER.exe WINMM.def [OBJDUMP]
# Prints the winmm imports found; a program that imports nothing from winmm
# passes.
set -u
if [ $# -lt 2 ]; then
    echo "usage: $0 IMPORTER.exe WINMM.def [OBJDUMP]" >&2
    exit 2
fi
importer=$1
def=$2
objdump=${3:-x86_64-w64-mingw32-objdump}

[ -f "$importer" ] || { echo "FAIL: no such program: $importer"; exit 2; }
[ -r "$def" ] || { echo "FAIL: no such file: $def"; exit 2; }
dump=$("$objdump" -p "$importer") || { echo "FAIL: $objdump cannot read $importer"; exit 2; }

# The import table lists each DLL as "DLL Name: X", a "vma:" header, one
# "vma hint name" line per function and a blank line.
imports=$(printf '%s\n' "$dump" | awk '
    /DLL Name:/ { section = (tolower($NF) == "winmm.dll"); next }
    section && NF == 0 { section = 0; next }
    section && $1 != "vma:" && NF >= 3 { print $3 }')

# Export names: the first word of each line after EXPORTS, without "=internal"
# or "@ordinal" parts; comments start with ';'.
exports=$(sed -e 's/;.*//' "$def" | awk '
    /^[ \t]*EXPORTS/ { listing = 1; next }
    listing && NF > 0 { name = $1; sub(/[=@].*/, "", name); print name }')

missing=0
for name in $imports; do
    if printf '%s\n' "$exports" | grep -qx "$name"; then
        echo "imported and exported: $name"
    else
        echo "FAIL: $importer imports $name from winmm.dll, $def does not export it"
        missing=$((missing + 1))
    fi
done
[ -n "$imports" ] || echo "no winmm imports in $importer"
if [ $missing -ne 0 ]; then
    echo "$missing missing, failed"
    exit 1
fi
