# Debian package helpers for the project's scripts (sourced, not run).
#
# A mirror in the middle of a sync serves an index of the wrong size, and
# `apt-get update` then fails although every other index arrived. The
# helpers name the index that failed, try twice more, and go on with the
# lists apt has: `apt-get install` decides whether what is asked for can be
# installed, and a missing package fails with apt's own message and a line
# naming the group that needed it.

apt_sudo=()
if [[ $(id -u) -ne 0 ]]; then
  apt_sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

apt_missing() {
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      echo "$package"
    fi
  done
}

# Runs `apt-get update` with the given apt-get arguments in front, up to three
# times; reports each failed index and returns 0 even when one stays broken.
apt_update_lists() {
  local attempt log
  log=$(mktemp)
  for attempt in 1 2 3; do
    if "${apt_sudo[@]}" apt-get "$@" update -q >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    grep -E '^(E|W): (Failed to fetch|Some index)|^Err:' "$log" | sed 's/^/apt: /' >&2 || true
    if ((attempt < 3)); then
      echo "apt: update failed (attempt $attempt of 3), trying again" >&2
      sleep $((attempt * 2))
    fi
  done
  echo "apt: going on with the package lists apt has; the install decides" >&2
  rm -f "$log"
  return 0
}

apt_lists_fresh=
# apt_install_group GROUP PACKAGE...: installs what is missing of the
# packages, updating the lists at most once per script.
apt_install_group() {
  local group=$1
  shift
  local missing
  mapfile -t missing < <(apt_missing "$@")
  ((${#missing[@]} == 0)) && return 0
  echo "install-deps ($group): installing ${missing[*]}"
  if [[ -z $apt_lists_fresh ]]; then
    apt_update_lists
    apt_lists_fresh=1
  fi
  if ! "${apt_sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    echo "install-deps: the '$group' group could not install: ${missing[*]}" >&2
    return 1
  fi
}

# The system's configured Debian archives as one-line sources entries:
# "URI SUITE COMPONENTS SIGNED-BY" (SIGNED-BY may be empty).
apt_system_sources() {
  local file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $file ]] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]\+//p' "$file" | while read -r first rest; do
      local signed=
      if [[ $first == \[* ]]; then
        signed=$(sed -n 's/.*signed-by=\([^] ]*\).*/\1/p' <<<"$first")
        # Options may hold spaces: drop everything up to the closing bracket.
        rest=$(sed 's/^[^]]*\][[:space:]]*//' <<<"$first $rest")
        read -r first rest <<<"$rest"
      fi
      read -r suite components <<<"$rest"
      echo "$first $suite ${components// /,} $signed"
    done
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ -f $file ]] || continue
    awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && enabled != "no")
          for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++)
            print uris[u], suites[s], comps, signed
        types = ""; enabled = ""; comps = ""; signed = ""; nu = 0; ns = 0
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      {
        key = tolower($1); sub(/:$/, "", key)
        $1 = ""; sub(/^ +/, "")
        if (key == "types") types = $0
        else if (key == "enabled") enabled = tolower($0)
        else if (key == "uris") nu = split($0, uris, " ")
        else if (key == "suites") ns = split($0, suites, " ")
        else if (key == "components") { comps = $0; gsub(/ +/, ",", comps) }
        else if (key == "signed-by") signed = $0
      }
      END { flush() }' "$file"
  done
}

# private_apt_state DIR ARCH EXTRA_SUITE: an apt state of our own in DIR that
# sees ARCH packages of the system's archives (without dpkg knowing that
# architecture) and the amd64 packages of EXTRA_SUITE (for example
# bookworm-backports) from the archive that carries the release itself.
private_apt_state() {
  local dir=$1 arch=$2 extra=$3 codename uri suite components signed options
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  mkdir -p "$dir"/{lists/partial,cache/archives/partial,etc/sources.list.d,etc/preferences.d,debs}
  : >"$dir/status"
  : >"$dir/etc/sources.list"
  while read -r uri suite components signed; do
    [[ -n $uri && $uri != cdrom:* ]] || continue
    options=
    [[ -n $signed ]] && options=" signed-by=$signed"
    echo "deb [arch=$arch$options] $uri $suite ${components//,/ }" >>"$dir/etc/sources.list"
    if [[ $suite == "$codename" && -n $extra ]]; then
      echo "deb [arch=amd64$options] $uri $extra main" >>"$dir/etc/sources.list"
    fi
  done < <(apt_system_sources)
}

# private_apt DIR update_lists|download ARGS...: apt-get on the private state,
# whose own architecture is i386 (amd64 packages take the :amd64 suffix).
private_apt() {
  local dir=$1 verb=$2
  shift 2
  local options=(
    -o "Dir::State=$dir" -o "Dir::State::status=$dir/status" -o "Dir::Cache=$dir/cache"
    -o "Dir::Etc::SourceList=$dir/etc/sources.list" -o "Dir::Etc::SourceParts=$dir/etc/sources.list.d"
    -o "Dir::Etc::Preferences=$dir/etc/preferences" -o "Dir::Etc::PreferencesParts=$dir/etc/preferences.d"
    -o "APT::Architecture=i386" -o "APT::Architectures::=i386" -o "APT::Architectures::=amd64"
    -o "Debug::NoLocking=1"
  )
  case $verb in
    update_lists) apt_update_lists "${options[@]}" ;;
    download) apt-get "${options[@]}" download -q "$@" ;;
  esac
}
