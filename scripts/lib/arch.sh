# The Windows architectures and their default build trees (sourced, not run;
# installs no trap, so any script may source it).
windows_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# windows_tree ARCH: the default build tree of a Windows architecture.
windows_tree() {
  case $1 in
    i686) echo "$windows_root/build-windows" ;;
    x86_64) echo "$windows_root/build-windows64" ;;
    *) echo "windows: architecture must be i686 or x86_64, not '$1'" >&2; return 2 ;;
  esac
}
