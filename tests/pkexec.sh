#!/bin/bash
# Stands in for pkexec, first on PATH: writes down how it was run, and the signals it was
# started with ignored, to the files named by STUB_RUNS and STUB_RUNS.ignored, says so on
# standard error, and then does what PKEXEC says (by default it succeeds).
printf '%q ' "$@" >>"$STUB_RUNS"
echo >>"$STUB_RUNS"
sed -n 's/^SigIgn:\s*//p' /proc/self/status >>"$STUB_RUNS.ignored"
echo "pkexec stand-in ran" >&2
eval "${PKEXEC:-exit 0}"
