#!/bin/sh
# The bytes of 68000 code a function of an object file takes with every
# function its code refers to, from the object's disassembly:
#
#   code_size.sh OBJDUMP OBJECT SYMBOL [LIMIT]
#
# prints "<total> <function>=<bytes> ..." and, given LIMIT, ends with
# status 1 when the total is above it; status 77 (skipped) without the
# object or objdump. A function runs from its symbol to
# the next one or to the end of .text, so an assembly file's local labels
# count with the function they lie in.
set -eu
[ $# -ge 3 ] || { echo "usage: $0 OBJDUMP OBJECT SYMBOL [LIMIT]" >&2; exit 2; }
objdump=$1 object=$2 symbol=$3 limit=${4:-}
command -v "$objdump" >/dev/null 2>&1 && [ -f "$object" ] || { echo "SKIP: no $objdump or $object (Debian gcc-m68k-linux-gnu)"; exit 77; }

text=$("$objdump" -h "$object" | awk '$2 == ".text" { print $3 }')
report=$("$objdump" -d "$object" | awk -v want="$symbol" -v text="$text" '
    function hex(s,    i, v) {
        v = 0
        for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
        return v
    }
    /^[0-9a-f]+ <[^>]+>:$/ {
        current = substr($2, 2, length($2) - 3)
        start[current] = hex($1)
        names[++n] = current
        next
    }
    current != "" {
        line = $0
        while (match(line, /<[^>+]+/)) {
            refers[current, substr(line, RSTART + 1, RLENGTH - 1)] = 1
            line = substr(line, RSTART + RLENGTH)
        }
    }
    END {
        for (i = 1; i <= n; i++) {
            end_at = hex(text)
            for (j = 1; j <= n; j++)
                if (start[names[j]] > start[names[i]] && start[names[j]] < end_at) end_at = start[names[j]]
            size[names[i]] = end_at - start[names[i]]
        }
        if (!(want in size)) { print "no function " want > "/dev/stderr"; exit 1 }
        taken[want] = 1
        for (grew = 1; grew;) {
            grew = 0
            for (i = 1; i <= n; i++) if (taken[names[i]])
                for (j = 1; j <= n; j++) if (!taken[names[j]] && (names[i], names[j]) in refers) taken[names[j]] = grew = 1
        }
        total = 0
        out = ""
        for (i = 1; i <= n; i++) if (taken[names[i]]) { total += size[names[i]]; out = out " " names[i] "=" size[names[i]] }
        print total out
    }')
echo "$report"
[ -z "$limit" ] || [ "${report%% *}" -le "$limit" ] || { echo "above the goal of $limit bytes" >&2; exit 1; }
