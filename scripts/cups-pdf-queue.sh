#!/usr/bin/env bash
# Starts CUPS and a print queue "PDF" whose back end writes PDF files (for root into
# /root/PDF, named after the job title); "stop" ends the daemon again.
set -euo pipefail
case "${1:-start}" in
start)
  if ! lpstat -r 2>/dev/null | grep -q "is running"; then
    mkdir -p /run/cups
    cupsd
    for _ in $(seq 1 100); do
      lpstat -r 2>/dev/null | grep -q "is running" && break
      sleep 0.1
    done
  fi
  lpstat -r | grep -q "is running" || { echo "cupsd did not start" >&2; exit 1; }
  lpadmin -p PDF -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd -E
  lpadmin -p PDF -o printer-is-shared=false -o TitlePref=1
  cupsenable PDF
  cupsaccept PDF
  lpadmin -d PDF
  for _ in $(seq 1 100); do
    lpstat -p PDF 2>/dev/null | grep -q "idle" && break
    sleep 0.1
  done
  lpstat -p PDF
  ;;
stop)
  if [ -f /run/cups/cupsd.pid ]; then
    kill "$(cat /run/cups/cupsd.pid)" 2>/dev/null || true
  else
    pkill -x cupsd 2>/dev/null || true
  fi
  ;;
esac
