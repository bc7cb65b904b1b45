#!/bin/sh
# Runs a test program in a network namespace of its own with only loopback
# up, so that the service's fixed port on 127.0.0.1 belongs to this test run
# alone and another test run on the same machine cannot answer in its place.
# Without root, unshare or ip, the program runs as it is.
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null 2>&1 && command -v ip >/dev/null 2>&1 &&
   unshare --net true 2>/dev/null; then
  exec unshare --net sh -c 'ip link set lo up && exec "$@"' own_network "$@"
fi
exec "$@"
