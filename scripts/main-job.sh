#!/usr/bin/env bash
# The suite's main job on this machine, from a fresh checkout: installs what
# is missing, builds every program, and sends a mail with postar through a
# local SMTP server, showing the whole dialogue and the mail as received.
set -eo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
py=/usr/bin/python3

echo "== Installing what the build needs (if anything is missing)"
"$top/scripts/install-deps.sh"
echo "== Building every program into build/bin"
"$top/scripts/build.sh" release >/dev/null
bin=$top/build/bin

work=$(mktemp -d)
port=$($py -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
echo "== Starting a local SMTP server on 127.0.0.1:$port"
$py -m aiosmtpd -n -l "127.0.0.1:$port" -c aiosmtpd.handlers.Debugging >"$work/server.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do
  if $py -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null; then break; fi
  sleep 0.1
done

cat >"$work/SMTP.INI" <<'INI'
[Connection]
Answer=220
Response Timeout=10

[Commands]
HELO ~h\r\n=250
MAIL FROM:<%USERNAME%@example.net>\r\n=250
RCPT TO:<%0>\r\n=250
DATA\r\n=354
Subject: %1\r\nFrom: ~u\r\nTo: %0\r\n\r\n=
~F%2=
\r\n.\r\n=250
QUIT\r\n=221
INI
printf 'The nightly job finished on %s.\r\nAll servers answered.\r\n' "$(hostname)" >"$work/body.txt"

echo "== postar /v: the dialogue (port 25 is mapped to $port for this run)"
# Arguments that begin with "/" are options to an NT tool, so the body file is
# named relative to the working directory.
cd "$work"
USERNAME=${USERNAME:-Administrator} NT_PORT_MAP="25:$port" \
  "$bin/postar" /h127.0.0.1 "/i$work/SMTP.INI" /v admin@example.net "Nightly report" body.txt
echo "== postar exit code: $?"
cd "$top"
sleep 0.5
echo "== What the SMTP server received"
cat "$work/server.log"
if [ -e "$work/body.txt" ]; then echo "body.txt still exists (unexpected)"; else echo "body.txt was sent and deleted (~F)"; fi
