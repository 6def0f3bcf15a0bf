#!/bin/sh
# Checks of the manual pages.
#
#   check_pages.sh lint PAGE...
#       every page passes `mandoc -T lint -W style` without a single line of
#       output; skipped (status 77) where mandoc is not installed.
#   check_pages.sh flags PAGE TOOL
#       every flag in the usage text that TOOL prints when run without
#       arguments appears in PAGE.
#   check_pages.sh index PAGE NAME.SECTION...
#       the SEE ALSO section of PAGE refers to exactly the pages named, in
#       their order: zkhelp's page to every tool the build defines.
#   check_pages.sh version VERSION PAGE...
#       every page is of the suite VERSION (its .Os line), and every suite
#       version it names ("v1.40") is VERSION.
set -u

fail() {
    printf '%s\n' "$*" >&2
    exit 1
}

lint() {
    if ! command -v mandoc >/dev/null 2>&1; then
        echo 'SKIP: mandoc is not installed (Debian package mandoc)'
        exit 77
    fi
    makewhatis=$(command -v makewhatis || echo /usr/sbin/makewhatis)
    [ -x "$makewhatis" ] || fail "mandoc is installed without makewhatis"

    # mandoc checks every cross reference against the manual tree in
    # MANPATH, so the pages are laid out as an installed tree first.
    tree=$(mktemp -d) || fail "cannot create a temporary directory"
    trap 'rm -rf "$tree"' EXIT
    for page in "$@"; do
        section=${page##*.}
        mkdir -p "$tree/man$section" && cp "$page" "$tree/man$section/" ||
            fail "cannot copy $page"
    done
    "$makewhatis" "$tree" || fail "makewhatis failed on the page tree"

    report=$(MANPATH=$tree mandoc -T lint -W style "$@" 2>&1)
    [ -z "$report" ] || fail "$report"
    echo "$# pages lint clean"
}

# The words of a usage text that begin with "-" and a letter or digit, one
# a line; a word starts the text or follows a blank or one of [ | ( <.
usage_flags() {
    printf '%s\n' "$1" |
        grep -oE '(^|[[:space:][|(<])-[[:alnum:]][[:alnum:]-]*' |
        sed 's/^[^-]*//' | sort -u
}

# The page as a reader sees its flags: "\-" is a dash, and every argument
# of an mdoc Fl macro gets its dash, up to the next macro on the line.
page_text() {
    sed 's/\\-/-/g' "$1" | awk '
        /^\./ {
            out = ""; in_fl = 0
            for (i = 1; i <= NF; i++) {
                word = $i
                if (word == "Fl" || word == ".Fl") { in_fl = 1; continue }
                if (word ~ /^\.?[A-Z][a-z][a-z]?$/) in_fl = 0
                else if (in_fl && word ~ /^[[:alnum:]-]/) word = "-" word
                out = out " " word
            }
            print out; next
        }
        { print }'
}

flags() {
    page=$1
    tool=$2
    [ -f "$page" ] || fail "no manual page $page"
    [ -x "$tool" ] || fail "no tool $tool"
    usage=$("$tool" </dev/null 2>/dev/null)
    [ -n "$usage" ] || fail "$tool printed no usage text"
    usage_flags=$(usage_flags "$usage")

    text=$(page_text "$page")
    missing=""
    for flag in $usage_flags; do
        printf '%s\n' "$text" | grep -qE -e "(^|[^[:alnum:]-])$flag([^[:alnum:]-]|\$)" ||
            missing="$missing $flag"
    done
    [ -z "$missing" ] || fail "$page lacks the flags of the usage text:$missing"
    echo "$page names every flag of its usage text:" $usage_flags
}

index() {
    page=$1
    shift
    [ -f "$page" ] || fail "no manual page $page"
    listed=$(awk '/^\.Sh / { in_see_also = ($0 == ".Sh SEE ALSO") } in_see_also && $1 == ".Xr" { print $2 "." $3 }' "$page")
    wanted=$(printf '%s\n' "$@")
    [ "$listed" = "$wanted" ] ||
        fail "$(printf '%s lists under SEE ALSO:\n%s\nbut the build defines:\n%s' "$page" "$listed" "$wanted")"
    echo "$page lists the $# pages under SEE ALSO"
}

version() {
    v=$1
    shift
    for page in "$@"; do
        grep -qx "\.Os zktools $v" "$page" || fail "$page: its .Os line is not \".Os zktools $v\""
        other=$(grep -o 'v[0-9][0-9]*\.[0-9][0-9]*' "$page" | grep -vx "v$v" | head -n 1)
        [ -z "$other" ] || fail "$page: names the suite version $other, not v$v"
    done
    echo "$# pages of version $v"
}

mode=${1-}
[ $# -gt 0 ] && shift
case $mode in
lint) lint "$@" ;;
flags) [ $# -eq 2 ] || fail "usage: $0 flags PAGE TOOL"; flags "$@" ;;
index) [ $# -ge 1 ] || fail "usage: $0 index PAGE NAME.SECTION..."; index "$@" ;;
version) [ $# -ge 2 ] || fail "usage: $0 version VERSION PAGE..."; version "$@" ;;
*) fail "usage: $0 lint PAGE... | flags PAGE TOOL | index PAGE NAME.SECTION... | version VERSION PAGE..." ;;
esac
