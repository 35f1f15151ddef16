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
#   netns.sh --segments N COMMAND [ARG...]
#                                the same with N separate segments (N from 1 to 4): segment K
#                                (K >= 1) is v(2K) (10.77.K.1/24, a sender's adapter) and
#                                v(2K+1) (devices) on their own switch brK; nothing passes
#                                between segments. Segment 0 is the one above, v0 still last.
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

segments=1
if [ "${1:-}" = --segments ]; then
  segments=${2:-}
  case "$segments" in [1-4]) ;; *) echo "netns.sh: --segments takes 1 to 4" >&2; exit 2 ;; esac
  shift 2
fi

# A switch brK with the devices' port: v(2K+1), no address.
make_switch() {
  local k=$1 dev="v$(( 2 * $1 + 1 ))"
  ip link add "br$k" type bridge
  ip link set "br$k" up
  ip link add "${dev}p" type veth peer name "$dev"
  ip link set "${dev}p" master "br$k"
  ip link set "${dev}p" up
  ip link set "$dev" up
  # The devices receive datagrams whose source address is this namespace's own sender.
  sysctl -qw "net.ipv4.conf.$dev.rp_filter=0"
  sysctl -qw "net.ipv4.conf.$dev.accept_local=1"
}

ip link set lo up
sysctl -qw net.ipv4.conf.all.rp_filter=0
make_switch 0
for (( k = 1; k < segments; k++ )); do
  make_switch "$k"
  ip link add "v$(( 2 * k ))p" type veth peer name "v$(( 2 * k ))"
  ip link set "v$(( 2 * k ))p" master "br$k"
  ip link set "v$(( 2 * k ))p" up
  ip addr add "10.77.$k.1/24" dev "v$(( 2 * k ))"
  ip link set "v$(( 2 * k ))" up
done
make_sender
unset NETNS_INNER
exec "$@"
