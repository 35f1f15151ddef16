#!/usr/bin/env bash
# Runs a command inside a private network namespace that holds only its own test segment:
#
#   v0 (10.77.0.1/24, the sender's adapter) -- v0p -+- br0 (switch) -+- v1p -- v1 (devices)
#
# The devices listen on v1, which has no address. v0 is made last, so it is the last entry
# of the adapter list, and stays last when a test deletes and makes it again
# (netns.sh recreate-sender). Nothing in the namespace reaches the machine's real interfaces.
# Exits 77 (the test is skipped) where no namespace can be made.
#
#   netns.sh COMMAND [ARG...]    runs the command with the segment set up
#   netns.sh recreate-sender     (inside) deletes v0 and makes it again, with a new index
set -euo pipefail

make_sender() {
  ip link add v0p type veth peer name v0
  ip link set v0p master br0
  ip link set v0p up
  ip addr add 10.77.0.1/24 dev v0
  ip link set v0 up
}

if [ "${1:-}" = recreate-sender ]; then
  ip link del v0
  make_sender
  exit 0
fi

if [ "${NETNS_INNER:-}" != 1 ]; then
  if unshare -n true 2>/dev/null; then
    exec unshare -n env NETNS_INNER=1 "$0" "$@"
  elif unshare -rn true 2>/dev/null; then
    exec unshare -rn env NETNS_INNER=1 "$0" "$@"
  fi
  echo "SKIP: cannot create a private network namespace here (unshare -n refused)" >&2
  exit 77
fi

ip link set lo up
ip link add br0 type bridge
ip link set br0 up
ip link add v1p type veth peer name v1
ip link set v1p master br0
ip link set v1p up
ip link set v1 up
# The devices on v1 receive datagrams whose source address is this namespace's own v0.
sysctl -qw net.ipv4.conf.all.rp_filter=0
sysctl -qw net.ipv4.conf.v1.rp_filter=0
sysctl -qw net.ipv4.conf.v1.accept_local=1
make_sender
unset NETNS_INNER
exec "$@"
