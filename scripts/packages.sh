# Sourced by the scripts: installs the Debian packages a step needs.
#
#   ensure_packages TAG PACKAGE...
#
# Installs the missing ones when run as root (refreshing the package lists
# first: a fresh machine's may be empty); otherwise names them and fails.
ensure_packages() {
    local tag=$1 p
    shift
    local missing=()
    for p in "$@"; do
        [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == 'install ok installed' ]] ||
            missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    if [[ $(id -u) -ne 0 ]]; then
        echo "$tag: missing Debian packages: ${missing[*]}" >&2
        echo "$tag: run as root, or install them with apt-get" >&2
        return 1
    fi
    echo "$tag: installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# Lets dpkg take the packages of a foreign architecture (PACKAGE:ARCH), for
# a cross build; as root, like ensure_packages.
#
#   ensure_architecture TAG ARCH
ensure_architecture() {
    local tag=$1 arch=$2
    grep -qx "$arch" <<<"$(dpkg --print-foreign-architectures)" && return 0
    if [[ $(id -u) -ne 0 ]]; then
        echo "$tag: the $arch architecture is not enabled; run as root" >&2
        return 1
    fi
    dpkg --add-architecture "$arch"
}
