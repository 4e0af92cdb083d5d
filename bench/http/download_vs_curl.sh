#!/bin/sh
# Downloads one 256 MiB file from a private nginx on 127.0.0.1 with the
# launcher's downloader (http_download_tool) and with curl, to a discarded
# sink and to a new file, and prints both throughputs and their ratio
# (downloader / curl; 1.0 or more means the downloader is at least as fast).
#
#   bench/http/download_vs_curl.sh [build directory]   (default: build)
#
# Each figure is the best of RUNS transfers (default 7); the two programs
# take turns. The file and
# the nginx configuration are made in a temporary directory that is removed
# at the end; nginx is stopped on every exit path.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
tool=$build/bench/bin/http_download_tool
runs=${RUNS:-7}
size_mib=256

[ -x "$tool" ] || { echo "no $tool: build the project first (target http_download_tool)" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl is not installed" >&2; exit 1; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || { echo "nginx is not installed" >&2; exit 1; }

work=$(mktemp -d /tmp/qv-download-bench-XXXXXX)
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/root" "$work/out"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/root/big.bin"

# A port of 127.0.0.1 that is free now.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user_line=
[ "$(id -u)" = 0 ] && user_line="user root root;"
cat > "$work/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1; $user_line
pid $work/nginx.pid; error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off; default_type application/octet-stream; sendfile on;
  client_body_temp_path $work/t1; proxy_temp_path $work/t2; fastcgi_temp_path $work/t3;
  uwsgi_temp_path $work/t4; scgi_temp_path $work/t5;
  server { listen 127.0.0.1:$port; root $work/root; }
}
CONF
"$nginx" -p "$work/" -c "$work/nginx.conf" -e "$work/error.log" &
nginx_pid=$!
i=0
until curl -s -o /dev/null "http://127.0.0.1:$port/"; do
    i=$((i + 1))
    [ $i -lt 100 ] || { echo "nginx did not start:" >&2; cat "$work/error.log" >&2; exit 1; }
    sleep 0.05
done

url=http://127.0.0.1:$port/big.bin
bytes=$(wc -c < "$work/root/big.bin")

# Seconds of one transfer: sink is "null" or "file".
tool_seconds() {
    if [ "$1" = null ]; then dest=-; else dest=$work/out/tool.bin; rm -f "$dest"; fi
    "$tool" "$port" /big.bin "$dest" | awk '{ print $4 }'
    if [ "$1" = file ]; then
        [ "$(wc -c < "$dest")" = "$bytes" ] || { echo "downloader wrote a short file" >&2; exit 1; }
        rm -f "$dest"
    fi
}
curl_seconds() {
    if [ "$1" = null ]; then dest=/dev/null; else dest=$work/out/curl.bin; rm -f "$dest"; fi
    curl -s -o "$dest" -w '%{time_total}\n' "$url"
    [ "$1" = null ] || rm -f "$dest"
}
tool_seconds null >/dev/null
curl_seconds null >/dev/null

printf '%-8s %16s %16s %8s\n' sink "downloader MB/s" "curl MB/s" ratio
for sink in null file; do
    # Alternate the two programs so both see the same machine load; keep
    # the best transfer of each.
    : > "$work/tool.times"
    : > "$work/curl.times"
    n=0
    while [ $n -lt "$runs" ]; do
        tool_seconds $sink >> "$work/tool.times"
        curl_seconds $sink >> "$work/curl.times"
        n=$((n + 1))
    done
    t=$(sort -g "$work/tool.times" | head -n 1)
    c=$(sort -g "$work/curl.times" | head -n 1)
    echo "$sink $t $c $bytes" | awk '{ mt = $4 / $2 / 1e6; mc = $4 / $3 / 1e6;
        printf "%-8s %16.1f %16.1f %8.2f\n", $1, mt, mc, mt / mc }'
done
