#!/bin/sh
# Makes the wine prefix ready before the tests run the Windows tools in it:
# a fresh prefix is set up by the first program started, whose standard
# error then carries wine's messages about it. Nothing to do when the tests
# run the native tools (ZK_TEST_RUNNER unset) or another runner than wine.
set -u
case ${ZK_TEST_RUNNER-} in
*wine*) ;;
*) exit 0 ;;
esac
"$ZK_TEST_RUNNER" wineboot --init >/dev/null 2>&1 || {
    echo "wineboot --init failed in ${WINEPREFIX-the default prefix}" >&2
    exit 1
}
echo "the wine prefix ${WINEPREFIX-} is ready"
