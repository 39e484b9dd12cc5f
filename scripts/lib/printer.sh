# SPDX-License-Identifier: MIT
# A simulated printer for the demo and the soak run: Net-SNMP's snmpd on
# 127.0.0.1 serving a profile table file (see demo/printer/profiles.txt:
# one row per line, ROW|INDEX|SOURCE|CLASS|AVAILABILITY|FILE|NAME).
# Sourced; the caller sets $port (free_udp_port) and keeps $printer_pid to
# stop it.

table_oid=1.3.6.1.4.1.32473.1.1.1.1.6.13.1.1

free_udp_port() {
  python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# table_of_rows ROWS FILE: writes a table file of ROWS rows to FILE: every
# row in the menu (source type 4 or 5, class 1 to 3), as a benchmark wants.
table_of_rows() {
  local row
  for row in $(seq 1 "$1"); do
    echo "$row|$row|$(( row % 2 + 4 ))|$(( row % 3 + 1 ))|1|PROF$row.ICC|Profile $row"
  done > "$2"
}

# printer_config TABLE: snmpd.conf lines serving the table file TABLE.
printer_config() {
  local row index source class availability file name
  echo "agentaddress udp:127.0.0.1:$port"
  echo "rocommunity public 127.0.0.1"
  echo "dontLogTCPWrappersConnects yes"
  while IFS='|' read -r row index source class availability file name; do
    case $row in '#'* | '') continue ;; esac
    echo "override .$table_oid.1.1.$row integer $index"
    echo "override .$table_oid.2.1.$row integer $source"
    echo "override .$table_oid.3.1.$row octet_str \"$name\""
    echo "override .$table_oid.4.1.$row octet_str \"$file\""
    echo "override .$table_oid.5.1.$row integer $class"
    echo "override .$table_oid.7.1.$row integer $availability"
  done < "$1"
}

# start_printer TABLE DIR: snmpd serving TABLE on 127.0.0.1:$port, its
# files in DIR; sets printer_pid and returns once it answers.
start_printer() {
  local dir=$2
  mkdir -p "$dir"
  printer_config "$1" > "$dir/snmpd.conf"
  SNMP_PERSISTENT_DIR=$dir/state MIBS='' snmpd -f -C -c "$dir/snmpd.conf" \
    -Lf "$dir/snmpd.log" -I -smux -p "$dir/snmpd.pid" &
  printer_pid=$!
  local _
  for _ in $(seq 1 100); do
    snmpget -v2c -c public -r0 -t1 "127.0.0.1:$port" "$table_oid.1.1.1" >/dev/null 2>&1 && return 0
    kill -0 "$printer_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "the printer (snmpd) did not start; its log:" >&2
  cat "$dir/snmpd.log" >&2
  exit 1
}
