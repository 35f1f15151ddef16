#!/usr/bin/env bash
# Runs a command inside a private network namespace that holds only its own test network:
# loopback, and a veth pair v0 (10.77.0.1/24, the sender's adapter) <-> v1 (no address,
# where the simulated devices listen). Nothing in it can reach the machine's real
# interfaces. Exits 77 (the test is skipped) where no namespace can be made.
#
#   netns.sh COMMAND [ARG...]      the command runs with the network set up
#   NETNS_INNER=1 ...              (internal) set-up step inside the namespace
set -euo pipefail

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
ip link add v0 type veth peer name v1
ip addr add 10.77.0.1/24 dev v0
ip link set v0 up
ip link set v1 up
# The devices on v1 receive datagrams whose source address is this namespace's own v0.
sysctl -qw net.ipv4.conf.all.rp_filter=0
sysctl -qw net.ipv4.conf.v1.rp_filter=0
sysctl -qw net.ipv4.conf.v1.accept_local=1
unset NETNS_INNER
exec "$@"
