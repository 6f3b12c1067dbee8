#!/bin/sh
# A Wine prefix of the test run's own, with a persistent wineserver so that
# every test starts its program in a fraction of a second.
#   prefix.sh start <prefix>   fresh prefix (c:\images\ is <prefix>/drive_c/images)
#   prefix.sh stop <prefix>    stop its wineserver and remove it
set -eu
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
# No Mono, Gecko or menu builder: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

case $action in
start)
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$WINEPREFIX"
  # Kept up for the run (should the run be cut short, it still ends a minute
  # after its last program). Wine's background processes must not hold the
  # test runner's pipes.
  wineserver -p60 </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >/dev/null 2>&1
  mkdir -p "$WINEPREFIX/drive_c/images"
  echo "Wine prefix ready: $WINEPREFIX"
  ;;
stop)
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  ;;
*)
  echo "usage: prefix.sh start|stop <prefix>" >&2
  exit 2
  ;;
esac
