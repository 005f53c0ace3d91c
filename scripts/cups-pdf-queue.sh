#!/usr/bin/env bash
# A print queue "PDF" whose back end writes PDF files (for root into /root/PDF, named
# after the job title), for the tests.
#
#   scripts/cups-pdf-queue.sh start   starts CUPS if it is not running and adds the queue
#                                     if there is none, as the default printer
#   scripts/cups-pdf-queue.sh stop    undoes what start did, and only that
#
# start notes in a state file what it changed: whether it started the scheduler (and its
# process), whether it added the queue, and the default printer before. stop removes
# the queue only if start added it, puts the previous default back, and stops the
# scheduler only if start started it; a scheduler or a PDF queue that was there before
# is left as it was. The state file is QRP_CUPS_STATE (default
# /run/visualizar-reportes/cups-pdf-queue.state); the scheduler is the one the CUPS
# clients talk to (CUPS_SERVER), started as "cupsd" from PATH.
set -euo pipefail
QUEUE=PDF
STATE=${QRP_CUPS_STATE:-/run/visualizar-reportes/cups-pdf-queue.state}

running() { lpstat -r 2>/dev/null | grep -q "is running"; }

# The system's default destination, empty when there is none.
default_printer() { lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p'; }

start() {
  if [ -f "$STATE" ] && running && lpstat -p "$QUEUE" >/dev/null 2>&1; then
    # An earlier start that was not stopped: its notes stay for the stop to come.
    echo "cups-pdf-queue: already started (state in $STATE)"
    lpstat -p "$QUEUE"
    return 0
  fi
  mkdir -p "$(dirname "$STATE")"
  local started_pid="" added=0 previous_default
  if ! running; then
    mkdir -p /run/cups
    # Kept in the foreground (-f) of a background job, so the process noted is the
    # scheduler itself; it takes a hang-up for "reload its configuration".
    cupsd -f </dev/null >/dev/null 2>&1 &
    started_pid=$!
    for _ in $(seq 1 100); do
      running && break
      kill -0 "$started_pid" 2>/dev/null || break
      sleep 0.1
    done
    if ! running; then
      kill "$started_pid" 2>/dev/null || true
      echo "cups-pdf-queue: cupsd did not start" >&2
      exit 1
    fi
    echo "cups-pdf-queue: started cupsd (process $started_pid)"
  fi
  previous_default=$(default_printer)
  # Written before the queue is touched, so a failure below can still be undone.
  printf 'started_pid=%s\nadded=%s\nprevious_default=%s\n' "$started_pid" 0 "$previous_default" >"$STATE"

  if lpstat -p "$QUEUE" >/dev/null 2>&1; then
    echo "cups-pdf-queue: the queue $QUEUE exists already; left as it is"
  else
    # lpadmin warns on every driver file that such drivers are deprecated; only a
    # failure is worth showing.
    local out
    if ! out=$(lpadmin -p "$QUEUE" -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd -E 2>&1); then
      echo "$out" >&2
      exit 1
    fi
    added=1
    printf 'started_pid=%s\nadded=%s\nprevious_default=%s\n' "$started_pid" 1 "$previous_default" >"$STATE"
    lpadmin -p "$QUEUE" -o printer-is-shared=false -o TitlePref=1
    cupsenable "$QUEUE"
    cupsaccept "$QUEUE"
    lpadmin -d "$QUEUE"
    echo "cups-pdf-queue: added the queue $QUEUE as the default printer" \
         "(before: ${previous_default:-none})"
  fi
  for _ in $(seq 1 100); do
    lpstat -p "$QUEUE" 2>/dev/null | grep -q "idle" && break
    sleep 0.1
  done
  lpstat -p "$QUEUE"
}

stop() {
  if [ ! -f "$STATE" ]; then
    echo "cups-pdf-queue: nothing to undo (no state in $STATE)"
    return 0
  fi
  local started_pid="" added=0 previous_default="" key value
  while IFS='=' read -r key value; do
    case "$key" in
      started_pid) started_pid=$value ;;
      added) added=$value ;;
      previous_default) previous_default=$value ;;
    esac
  done <"$STATE"

  if [ "$added" = 1 ] && running; then
    lpadmin -x "$QUEUE" 2>/dev/null || true
    echo "cups-pdf-queue: removed the queue $QUEUE"
    if [ -n "$previous_default" ] && lpstat -p "$previous_default" >/dev/null 2>&1; then
      lpadmin -d "$previous_default"
      echo "cups-pdf-queue: the default printer is $previous_default again"
    fi
  fi
  # Only the scheduler this script started, and only while that process is still it.
  if [ -n "$started_pid" ] && [ "$(cat "/proc/$started_pid/comm" 2>/dev/null)" = cupsd ]; then
    kill "$started_pid"
    for _ in $(seq 1 100); do
      kill -0 "$started_pid" 2>/dev/null || break
      sleep 0.1
    done
    echo "cups-pdf-queue: stopped the cupsd it had started (process $started_pid)"
  fi
  rm -f "$STATE"
}

case "${1:-start}" in
  start) start ;;
  stop) stop ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
