#!/usr/bin/env bash
# scripts/cups-pdf-queue.sh against a CUPS scheduler of the test's own (its own
# configuration, folders and socket, reached through CUPS_SERVER; the system's
# scheduler is never asked): stop undoes what start did and only that.
#   - no scheduler running: start starts one and adds the queue as the default; stop
#     removes the queue and stops that scheduler;
#   - a scheduler running with another default printer: it stays running, the default
#     comes back;
#   - a PDF queue already there: left as it was, and the default not changed.
set -euo pipefail
ROOT=$1
SCRIPT=$ROOT/scripts/cups-pdf-queue.sh
skip() { echo "$*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root (a scheduler of its own and lpadmin)"
for tool in lpadmin lpstat; do command -v $tool >/dev/null || skip "$tool (package cups-client) is not installed"; done
[ -x /usr/sbin/cupsd ] || skip "cupsd (package cups) is not installed"
[ -f /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd ] || skip "the cups-pdf driver (package printer-driver-cups-pdf) is not installed"

D=$(mktemp -d /tmp/qrp-cups-test.XXXXXX)
chmod 755 "$D"
OWN_PID=""
cleanup() {
  # Whatever this test's scheduler is still running goes, and only that one.
  for pid in $OWN_PID $(cat "$D/started.pid" 2>/dev/null); do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = cupsd ] && kill "$pid" 2>/dev/null || true
  done
  sleep 0.5
  rm -rf "$D"
}
trap cleanup EXIT
mkdir -p "$D"/{root,spool,tmp,cache,state,log,bin}
cat >"$D/cups-files.conf" <<CONF
ServerRoot $D/root
RequestRoot $D/spool
TempDir $D/tmp
CacheDir $D/cache
StateDir $D/state
ServerBin /usr/lib/cups
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
AccessLog $D/log/access_log
ErrorLog $D/log/error_log
PageLog $D/log/page_log
SystemGroup root
CONF
cat >"$D/cupsd.conf" <<CONF
Listen $D/cups.sock
Browsing Off
WebInterface No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
# "cupsd" as the script starts it: this test's scheduler.
cat >"$D/bin/cupsd" <<CONF
#!/bin/sh
exec /usr/sbin/cupsd -c $D/cupsd.conf -s $D/cups-files.conf "\$@"
CONF
chmod +x "$D/bin/cupsd"
export PATH="$D/bin:$PATH" CUPS_SERVER="$D/cups.sock" QRP_CUPS_STATE="$D/state.txt"

fail() { echo "FAILED: $*"; cat "$D/log/error_log" 2>/dev/null | tail -5; exit 1; }
running() { lpstat -r 2>/dev/null | grep -q "is running"; }
default_printer() { lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p'; }

# Whether a scheduler of this kind can run here at all (a confinement profile may keep
# cupsd to the system's folders): if not, there is nothing to test the script with.
running && fail "a scheduler answers on the test's own socket before the test"
cupsd -f </dev/null >/dev/null 2>&1 &
OWN_PID=$!
for _ in $(seq 1 100); do running && break; sleep 0.1; done
if ! running; then
  tail -n 3 "$D/log/error_log" 2>/dev/null || true
  skip "a CUPS scheduler with its own configuration does not start here"
fi
kill "$OWN_PID"
for _ in $(seq 1 100); do kill -0 "$OWN_PID" 2>/dev/null || break; sleep 0.1; done

echo "-- no scheduler running"
bash "$SCRIPT" start
running || fail "start did not start a scheduler"
lpstat -p PDF >/dev/null || fail "start did not add the queue"
[ "$(default_printer)" = PDF ] || fail "the queue is not the default"
sed -n 's/^started_pid=//p' "$QRP_CUPS_STATE" >"$D/started.pid"
bash "$SCRIPT" stop
running && fail "stop left the scheduler it started running"
[ ! -e "$QRP_CUPS_STATE" ] || fail "stop left its notes behind"

echo "-- a scheduler running, another default printer"
cupsd -f </dev/null >/dev/null 2>&1 &
OWN_PID=$!
for _ in $(seq 1 100); do running && break; sleep 0.1; done
running || fail "the test's scheduler did not start"
lpadmin -p Otra -v ipp://localhost:9/otra -E 2>/dev/null
lpadmin -d Otra
bash "$SCRIPT" start
[ "$(default_printer)" = PDF ] || fail "the queue is not the default"
bash "$SCRIPT" stop
kill -0 "$OWN_PID" || fail "stop stopped a scheduler it had not started"
lpstat -p PDF >/dev/null 2>&1 && fail "stop left the queue it added"
[ "$(default_printer)" = Otra ] || fail "the previous default is not back: $(default_printer)"

echo "-- a PDF queue already there"
lpadmin -p PDF -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd -E 2>/dev/null
before=$(lpoptions -p PDF 2>/dev/null)
bash "$SCRIPT" start
[ "$(default_printer)" = Otra ] || fail "start changed the default for a queue it did not add"
bash "$SCRIPT" stop
lpstat -p PDF >/dev/null 2>&1 || fail "stop removed a queue it had not added"
[ "$(lpoptions -p PDF 2>/dev/null)" = "$before" ] || fail "the existing queue was changed"
kill -0 "$OWN_PID" || fail "stop stopped a scheduler it had not started"
echo "passed"
