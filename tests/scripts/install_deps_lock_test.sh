#!/usr/bin/env bash
# scripts/install-deps.sh while another package manager holds the package lock: it
# says so once, naming the process, waits and tries again, and installs once the lock
# is free; with the lock held for longer than LOCK_WAIT it gives up with apt's error.
# apt-get and dpkg-query are stand-ins on PATH: nothing is installed.
set -euo pipefail
ROOT=$1
D=$(mktemp -d)
trap 'rm -rf "$D"' EXIT
cat >"$D/apt-get" <<'FAKE'
#!/bin/bash
n=$(($(cat "$FAKE_DIR/count" 2>/dev/null || echo 0) + 1))
echo $n >"$FAKE_DIR/count"
echo "apt-get $*" >>"$FAKE_DIR/calls"
if [ $n -le "$LOCKED_CALLS" ]; then
  echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (unattended-upgr)" >&2
  echo "E: Unable to acquire the dpkg frontend lock (/var/lib/dpkg/lock-frontend), is another process using it?" >&2
  exit 100
fi
FAKE
# One package missing, everything else installed.
cat >"$D/dpkg-query" <<'FAKE'
#!/bin/bash
[ "${@: -1}" = appstream ] && exit 1
echo -n "install ok installed"
FAKE
printf '#!/bin/sh\nexec /bin/sleep 0.01\n' >"$D/sleep"
chmod +x "$D"/*
export PATH="$D:$PATH" FAKE_DIR=$D

fail() { echo "FAILED: $*"; exit 1; }

out=$(LOCKED_CALLS=2 LOCK_WAIT=60 bash "$ROOT/scripts/install-deps.sh" 2>&1) || fail "did not wait for the lock: $out"
echo "$out"
[ "$(echo "$out" | grep -c 'holds the package lock')" -eq 1 ] || fail "the wait is not said exactly once"
echo "$out" | grep -q 'process 4242 (unattended-upgr)' || fail "the process holding the lock is not named"
echo "$out" | grep -q 'Could not get lock' && fail "apt's lock errors shown while waiting"
grep -q 'install -y --no-install-recommends appstream' "$D/calls" || fail "the package was not installed"
grep -q 'DPkg::Lock::Timeout' "$D/calls" || fail "apt-get is not told to wait for the lock"

rm -f "$D/count" "$D/calls"
if out=$(LOCKED_CALLS=1000 LOCK_WAIT=20 bash "$ROOT/scripts/install-deps.sh" 2>&1); then
  fail "succeeded with the lock never released"
fi
echo "$out" | grep -q 'still held after 20 s' || fail "giving up is not said: $out"
echo "$out" | grep -q 'Could not get lock' || fail "apt's error is not shown when giving up"
echo "passed"
