#!/usr/bin/env bash
# Runs the results store's tests against a real PostgreSQL server: a
# throwaway cluster in a temporary folder, listening only on a Unix socket
# there, stopped and removed at the end. The tests stop and start the server
# themselves (ZEL_TEST_PG_STOP / ZEL_TEST_PG_START) to check the spool.
# Usage: with_postgres.sh TEST_PROGRAM [ARGS...]
set -euo pipefail

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1 || true)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "with_postgres.sh: PostgreSQL is not installed (tools/setup.sh installs postgresql)" >&2
    exit 1
fi

dir=$(mktemp -d /tmp/zel-pg.XXXXXX)
# initdb refuses to run as root: the cluster then belongs to the postgres user.
as=()
if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$dir"
    as=(runuser -u postgres --)
fi
chmod 755 "$dir"

pg_ctl_start=("${as[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30
    -o "-k $dir -c listen_addresses='' -c fsync=off" start)
pg_ctl_stop=("${as[@]}" "$bin/pg_ctl" -D "$dir/data" -w -t 30 -m fast stop)

finish() {
    "${pg_ctl_stop[@]}" >/dev/null 2>&1 || true
    rm -rf "$dir"
}
trap finish EXIT

"${as[@]}" "$bin/initdb" -D "$dir/data" -U postgres --auth=trust -E UTF8 --locale=C.UTF-8 >/dev/null
"${pg_ctl_start[@]}" >/dev/null

export ZEL_TEST_PG_SOCKET="$dir"
printf -v ZEL_TEST_PG_START '%q ' "${pg_ctl_start[@]}"
printf -v ZEL_TEST_PG_STOP '%q ' "${pg_ctl_stop[@]}"
export ZEL_TEST_PG_START="$ZEL_TEST_PG_START >/dev/null"
export ZEL_TEST_PG_STOP="$ZEL_TEST_PG_STOP >/dev/null"
status=0
"$@" || status=$?
if [ "$status" -ne 0 ]; then
    echo "--- server log ---" >&2
    tail -20 "$dir/server.log" >&2 || true
fi
exit "$status"
