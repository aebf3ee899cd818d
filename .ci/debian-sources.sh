# shellcheck shell=bash
# Debian's own source packages, for the scripts that build libraries from
# them for another target (.ci/mingw-deps.sh, .ci/web-deps.sh). The sources
# come through a deb-src entry made from this machine's own apt sources,
# with apt's lists kept inside the prefix, so the system's apt setup stays as
# it was. Sourced, not run, by a script that has set
#   script    its own path, which the build is keyed on with this file;
#   prefix    the folder it builds into;
#   packages  the source packages it builds.
# It calls debian_sources_begin, builds with fetch and quietly into
# $prefix/include and $prefix/lib, then calls debian_sources_end.
# shellcheck disable=SC2154  # script, prefix and packages: the caller's
debian_sources=$(realpath "${BASH_SOURCE[0]}")
apt_dir=$prefix/apt
sources=$prefix/sources
logs=$prefix/logs
stamp=$prefix/built-from

# One deb-src entry for every deb entry of this release's own suites (the
# codename and its -updates, -security, ...); other vendors' repositories
# often carry no sources and are left out.
write_source_lists() {
  local codename source_list='' source_parts='' list sources
  # shellcheck disable=SC1091  # the machine's own
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || { echo "no VERSION_CODENAME in /etc/os-release" >&2; exit 1; }
  eval "$(apt-config shell source_list Dir::Etc::SourceList/f source_parts Dir::Etc::SourceParts/d)"
  {
    [ ! -f "$source_list" ] || cat "$source_list"
    for list in "$source_parts"/*.list; do [ ! -f "$list" ] || cat "$list"; done
  } | awk -v codename="$codename" '
    $1 == "deb" {
      uri = 2
      if ($2 ~ /^\[/) { while ($uri !~ /\]$/ && uri < NF) uri++; uri++ }
      if ($(uri + 1) ~ "^" codename "(-|$)") { $1 = "deb-src"; print }
    }' > "$apt_dir/sources.list"
  for sources in "$source_parts"/*.sources; do
    [ -f "$sources" ] || continue
    # Stanzas are separated by blank lines; fields may continue on lines that
    # begin with a space.
    awk -v codename="$codename" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && enabled !~ /^[Nn]o/ && suites != "")
          printf "Types: deb-src\nSuites:%s\n%s\n", suites, rest
        types = ""; enabled = ""; suites = ""; rest = ""; field = ""
      }
      /^#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { if (field != "Types" && field != "Suites" && field != "Enabled") rest = rest $0 "\n"; next }
      {
        field = $1; sub(/:$/, "", field); value = $0; sub(/^[^:]*:[ \t]*/, "", value)
        if (field == "Types") types = value
        else if (field == "Enabled") enabled = value
        else if (field == "Suites") {
          n = split(value, all, /[ \t]+/)
          for (i = 1; i <= n; i++) if (all[i] ~ "^" codename "(-|$)") suites = suites " " all[i]
        } else rest = rest $0 "\n"
      }
      END { flush() }' "$sources" > "$apt_dir/sources.list.d/$(basename "$sources")"
  done
}

apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o Debug::NoLocking=1 -qq)
# As root apt would hand the downloads to its own user, who may not reach
# the build tree.
[ "$(id -u)" != 0 ] || apt_options+=(-o APT::Sandbox::User=root)

# Every version the lists know of each source package, newest first.
versions() { # package
  local version sorted=()
  while read -r version; do
    local i=${#sorted[@]}
    while ((i > 0)) && dpkg --compare-versions "$version" gt "${sorted[i - 1]}"; do
      sorted[i]=${sorted[i - 1]}
      i=$((i - 1))
    done
    sorted[i]=$version
  done < <(apt-cache "${apt_options[@]}" showsrc "$1" | sed -n 's/^Version: //p' | sort -u)
  printf '%s\n' "${sorted[@]}"
}

# The work is keyed on the building script, this file and the versions on
# offer: the same key as the last complete build means the prefix holds what
# it would make.
key() {
  local package
  cat "$script" "$debian_sources" | sha256sum
  for package in "${packages[@]}"; do echo "$package $(versions "$package" | tr '\n' ' ')"; done
}

# Exits the script when the prefix already holds what it would build;
# otherwise says what it builds (the words given, then the packages) and
# clears the prefix for it.
debian_sources_begin() { # what is built
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache"
  write_source_lists
  # The lists are fetched once, then again only when there is work to do.
  local refreshed=false
  if ! compgen -G "$apt_dir/lists/*Sources*" > /dev/null; then
    apt-get "${apt_options[@]}" update
    refreshed=true
  fi
  if [ -f "$stamp" ] && [ "$(key)" = "$(cat "$stamp")" ]; then
    exit 0
  fi
  echo "== $1 of ${packages[*]}, into $prefix"
  $refreshed || apt-get "${apt_options[@]}" update
  rm -rf "$sources" "$logs" "${prefix:?}/include" "${prefix:?}/lib" "$stamp"
  mkdir -p "$sources" "$logs"
}

# Runs a build step with its output in the package's log, shown if it fails.
quietly() { # package command...
  local package=$1
  shift
  "$@" >> "$logs/$package.log" 2>&1 || {
    tail -n 40 "$logs/$package.log" >&2
    echo "building $package failed, see $logs/$package.log" >&2
    exit 1
  }
}

# Fetches and unpacks a source package, Debian's patches applied, into
# $sources/NAME; says which version it built.
fetch() { # package
  local version
  for version in $(versions "$1"); do
    if (cd "$sources" && apt-get "${apt_options[@]}" source --download-only "$1=$version" 2>/dev/null); then
      quietly "$1" dpkg-source -x "$sources/$1_${version#*:}.dsc" "$sources/$1"
      echo "   $1 $version"
      return
    fi
  done
  echo "no source of $1 could be fetched" >&2
  exit 1
}

# Drops the sources and records what the prefix now holds.
debian_sources_end() {
  rm -rf "$sources"
  key > "$stamp"
  echo "   done: $(cd "$prefix/lib" && echo *.a)"
}
