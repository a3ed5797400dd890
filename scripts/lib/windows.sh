# Windows trees and Wine for the project's scripts (sourced, not run).
# shellcheck source=scripts/lib/camsim.sh
source "$(dirname "${BASH_SOURCE[0]}")/camsim.sh"

# shellcheck source=scripts/lib/arch.sh
source "$(dirname "${BASH_SOURCE[0]}")/arch.sh"

windows_cleanup() {
  camsim_stop
  if [[ -n ${wine_server:-} ]]; then
    "$wine_server" -k 2>/dev/null || true
  fi
}
trap windows_cleanup EXIT

# camsim_farm_start CAMSIM: the simulator farm the Windows tests reach on
# 127.0.0.1 (exports DARVIK_CAMSIM_FARM).
camsim_farm_start() {
  camsim_start "$1" Farm --farm
  echo "Simulator farm: $camsim_url"
  export DARVIK_CAMSIM_FARM=$camsim_url
}

export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-darvik}
wine_server=

# Wine's loader starts its server with no grace time, so the server quits
# whenever no Wine program runs, and a test starting at that moment fails with
# "wine client error: recvmsg: Connection reset by peer". One server that
# stays up for the whole run (stopped at exit) removes that race.
wine_server_start() {
  local candidate _
  for candidate in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32; do
    if [[ -x $candidate ]]; then wine_server=$candidate; break; fi
  done
  [[ -n $wine_server ]] || return 0
  mkdir -p "$WINEPREFIX"
  # A server left by an earlier program quits once that program is gone.
  for _ in $(seq 50); do
    "$wine_server" -p 2>/dev/null && return 0
    sleep 0.1
  done
  echo "windows: another Wine server keeps running for $WINEPREFIX; tests may meet it quitting" >&2
  wine_server=
}

# wine_prefix_warm: the first program sets up a fresh prefix alone, before
# tests run in parallel. A prefix made before the 32-bit setup has an
# empty syswow64 and can never run 32-bit programs: it is made anew. A crash
# must fail its test at once rather than start winedbg, which waits for
# minutes, so the prefix names no debugger.
wine_prefix_warm() {
  if [[ -d $WINEPREFIX/drive_c/windows/system32 && ! -e $WINEPREFIX/drive_c/windows/syswow64/kernel32.dll ]]; then
    echo "windows: $WINEPREFIX has no 32-bit system folder; making it anew"
    [[ -n $wine_server ]] && "$wine_server" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    wine_server_start
  fi
  if [[ ! -f $WINEPREFIX/.darvik-no-debugger ]]; then
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
    local view
    for view in 64 32; do
      "$windows_root/scripts/wine-run" reg add "$key" /v Debugger /t REG_SZ /d "" /f "/reg:$view" >/dev/null 2>&1 || true
      "$windows_root/scripts/wine-run" reg add "$key" /v Auto /t REG_SZ /d 1 /f "/reg:$view" >/dev/null 2>&1 || true
    done
    touch "$WINEPREFIX/.darvik-no-debugger"
  fi
  # The first program of a Wine server starts the prefix's system processes
  # (services.exe, winedevice.exe, rpcss.exe...), which then live as long as
  # the server and keep that program's standard handles open. Started by a
  # test, they would hold the pipe CTest reads the test's output from, and
  # CTest would wait for its end until the time-out although the test had
  # long exited. So they are started here, on /dev/null, every time.
  "$windows_root/scripts/wine-run" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
}
