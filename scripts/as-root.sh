# shellcheck shell=bash
# Sourced by the scripts that change the machine (packages, the Debian 13 root).
#
#   as_root CMD...   runs CMD as root: as it is where this is root, else through sudo

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
