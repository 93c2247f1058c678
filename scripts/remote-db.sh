#!/usr/bin/env bash
# A throwaway PostgreSQL 15 server on 127.0.0.1 that holds table TB100, the
# poems of the fifth source ("其他诗词"), loaded from data/poems/tb100.jsonl.
#
#   scripts/remote-db.sh start    create the server the first time, start it, (re)load TB100,
#                                 and print the line to export; does nothing more if it runs
#                                 with the bundled poems in TB100
#   scripts/remote-db.sh start --corpus
#                                 the same with the whole chinese-poetry corpus in TB100
#                                 (about 326,000 poems of 全唐诗, 全宋诗 and 宋词): fetched once
#                                 with npm into <build folder>/corpus (an 85 MB download,
#                                 350 MB unpacked), loaded in about a minute; a later start
#                                 keeps it
#   scripts/remote-db.sh stop     stop it; its folder stays (delete the folder to throw it away)
#   scripts/remote-db.sh status   exit 0 and print the export line if it runs, exit 3 if not
#   scripts/remote-db.sh connection
#                                 print the connection string alone if it runs (for scripts:
#                                 VERSEQUEST_TEST_REMOTE_CONNECTION=$(scripts/remote-db.sh connection)),
#                                 exit 3 if not
#
# Settings (environment):
#   VERSEQUEST_BUILD_DIR       build folder holding bin/mkpoemdb (default: build)
#   VERSEQUEST_REMOTE_DB_DIR   the server's folder (default: <build folder>/remote-db)
#   VERSEQUEST_REMOTE_DB_PORT  its port on 127.0.0.1 (default: 55432)
#
# The account "versequest" gets a random password when the server is created;
# it is kept in the server's folder (readable by its owner only) and printed in
# the export line. PostgreSQL does not run as root: as root, the server runs as
# the "postgres" user, which must be able to reach the folder.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(realpath -m "${VERSEQUEST_BUILD_DIR:-$root/build}")
port=${VERSEQUEST_REMOTE_DB_PORT:-55432}
dir=$(realpath -m "${VERSEQUEST_REMOTE_DB_DIR:-$build_dir/remote-db}")
# As root the server runs as "postgres", which may not reach a checkout under
# a private folder (/root, say); the server then lives under /tmp instead.
if [[ -z ${VERSEQUEST_REMOTE_DB_DIR:-} && $(id -u) -eq 0 ]] &&
   ! runuser -u postgres -- test -x "$(dirname "$build_dir")" 2>/dev/null; then
  dir=/tmp/versequest-remote-db-$port
fi
pg_bin=/usr/lib/postgresql/15/bin
data=$dir/data
role=versequest
database=versequest
corpus_version=2.0.1
corpus_dir=$build_dir/corpus

die() {
  echo "remote-db: $*" >&2
  exit 1
}

# Runs a server command as the user that owns the server.
as_owner() {
  if [[ $(id -u) -eq 0 ]]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

running() {
  [[ -f $data/PG_VERSION ]] && as_owner "$pg_bin/pg_ctl" -D "$data" status >/dev/null 2>&1
}

# The port the running server listens on (line 4 of its pid file).
running_port() {
  sed -n 4p "$data/postmaster.pid"
}

# The connection string of the server listening on port $1.
connection_string() {
  echo "Provider=PostgreSQL;Data Source=127.0.0.1,$1;Initial Catalog=$database;User ID=$role;Password=$(cat "$dir/password")"
}

print_export() {
  echo "export VERSEQUEST_REMOTE_CONNECTION='$(connection_string "$1")'"
}

random_hex() {
  od -An -N16 -tx1 /dev/urandom | tr -d ' \n'
}

create_cluster() {
  echo "remote-db: creating a PostgreSQL server in $dir" >&2
  mkdir -p "$dir"
  chmod 700 "$dir"
  if [[ $(id -u) -eq 0 ]]; then
    chown postgres:postgres "$dir"
    runuser -u postgres -- test -w "$dir" ||
      die "the postgres user cannot reach $dir; set VERSEQUEST_REMOTE_DB_DIR to a folder it can reach"
  fi
  (umask 077 && random_hex >"$dir/password" && random_hex >"$dir/superuser-password")
  if [[ $(id -u) -eq 0 ]]; then
    chown postgres:postgres "$dir/password" "$dir/superuser-password"
  fi
  as_owner "$pg_bin/initdb" -D "$data" -U postgres --pwfile="$dir/superuser-password" \
    --auth=scram-sha-256 --encoding=UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; die "initdb failed"; }
}

admin_sql() {
  PGPASSWORD=$(cat "$dir/superuser-password") psql -X -q -v ON_ERROR_STOP=1 \
    -h 127.0.0.1 -p "$port" -U postgres -d postgres "$@"
}

# The corpus package, unpacked into $corpus_dir/package; fetched only once.
fetch_corpus() {
  [[ -d $corpus_dir/package/dist ]] && return
  command -v npm >/dev/null || die "npm is needed to fetch the corpus (Debian: apt-get install npm)"
  mkdir -p "$corpus_dir"
  echo "remote-db: fetching chinese-poetry $corpus_version (about 85 MB) into $corpus_dir" >&2
  (cd "$corpus_dir" && npm pack --silent "chinese-poetry@$corpus_version" >/dev/null) ||
    die "npm pack chinese-poetry@$corpus_version failed"
  rm -rf "$corpus_dir/unpacking"
  mkdir -p "$corpus_dir/unpacking"
  tar -xzf "$corpus_dir/chinese-poetry-$corpus_version.tgz" -C "$corpus_dir/unpacking" ||
    die "cannot unpack $corpus_dir/chinese-poetry-$corpus_version.tgz"
  mv "$corpus_dir/unpacking/package" "$corpus_dir/package"
  rm -rf "$corpus_dir/unpacking" "$corpus_dir/chinese-poetry-$corpus_version.tgz"
}

# One folder with the collections TB100 takes (全唐诗, 全宋诗, 宋词), as links.
corpus_folder() {
  local dist=$corpus_dir/package/dist folder=$corpus_dir/tb100 file
  rm -rf "$folder"
  mkdir -p "$folder"
  for file in "$dist"/quantangshi/poet.tang.*.json "$dist"/quantangshi/poet.song.*.json "$dist"/songci/ci.song.*.json; do
    ln -s "$file" "$folder/"
  done
  echo "$folder"
}

# What TB100 holds: "bundled" or "corpus" (kept in the server's folder).
loaded() {
  cat "$dir/tb100-source" 2>/dev/null || true
}

load_tb100() {
  local want=$1 connection
  connection=$(connection_string "$port")
  rm -f "$dir/tb100-source"
  if [[ $want == corpus ]]; then
    fetch_corpus
    echo "remote-db: loading the corpus into TB100 (about a minute)" >&2
    "$mkpoemdb" remote "$connection" "TB100=$(corpus_folder)" >&2
  else
    "$mkpoemdb" remote "$connection" "TB100=$root/data/poems/tb100.jsonl" >&2
  fi
  echo "$want" >"$dir/tb100-source"
}

start() {
  local want=bundled
  [[ ${1:-} == --corpus ]] && want=corpus
  [[ -x $pg_bin/pg_ctl ]] || die "PostgreSQL 15 is not installed; run scripts/setup.sh --test"
  mkpoemdb=$build_dir/bin/mkpoemdb
  if running; then
    port=$(running_port)
    [[ $(loaded) == "$want" ]] || load_tb100 "$want"
    print_export "$port"
    return
  fi
  if [[ ! -x $mkpoemdb ]]; then
    echo "remote-db: building mkpoemdb in $build_dir" >&2
    cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build_dir" --target mkpoemdb -j "$(nproc)" >&2
  fi

  if [[ ! -f $data/PG_VERSION ]]; then
    create_cluster
  fi
  as_owner "$pg_bin/pg_ctl" -D "$data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=''" start >/dev/null ||
    { tail -n 20 "$dir/server.log" >&2; die "the server did not start (is port $port taken?)"; }

  # The account and its database, unless an earlier start made them already.
  if [[ -z $(admin_sql -tA -c "SELECT 1 FROM pg_roles WHERE rolname = '$role'") ]]; then
    admin_sql -c "CREATE ROLE $role LOGIN CREATEDB PASSWORD '$(cat "$dir/password")'" >&2
  fi
  if [[ -z $(admin_sql -tA -c "SELECT 1 FROM pg_database WHERE datname = '$database'") ]]; then
    admin_sql -c "CREATE DATABASE $database OWNER $role" >&2
  fi
  # The bundled poems are reloaded at every start; the corpus stays once loaded.
  if [[ $want == bundled || $(loaded) != corpus ]]; then
    load_tb100 "$want"
  fi
  print_export "$port"
}

stop() {
  if running; then
    as_owner "$pg_bin/pg_ctl" -D "$data" -m fast -w stop >/dev/null
    echo "remote-db: stopped; the server's folder $dir stays" >&2
  else
    echo "remote-db: not running" >&2
  fi
}

status() {
  if running; then
    print_export "$(running_port)"
  else
    echo "remote-db: not running" >&2
    exit 3
  fi
}

connection() {
  if running; then
    connection_string "$(running_port)"
  else
    echo "remote-db: not running" >&2
    exit 3
  fi
}

case "${1:-}" in
  start)
    [[ -z ${2:-} || ${2:-} == --corpus ]] || { echo "usage: scripts/remote-db.sh start [--corpus]|stop|status" >&2; exit 2; }
    start "${2:-}"
    ;;
  stop) stop ;;
  status) status ;;
  connection) connection ;;
  *)
    echo "usage: scripts/remote-db.sh start [--corpus]|stop|status|connection" >&2
    exit 2
    ;;
esac
