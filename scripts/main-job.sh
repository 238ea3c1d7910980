#!/usr/bin/env bash
# The suite's main job on this machine, from a fresh checkout: installs what
# is missing, builds every program, and runs the scheduler from end to end on
# the default network (NT_NETWORK when set, else ~/.local/share/ntnet):
#   1. installs the ZEB Service on the local machine and starts it,
#   2. adds a job due in the coming minute,
#   3. waits for the minute and shows the job line and the job's OUT file.
# The service keeps running and the job stays, so the network can be used
# on with `zeb sho *`, `zeb del demo /y`, `zeb stop /y`, `ntnet service list`.
# Running it again keeps the service, makes the job anew and runs it once more.
set -eo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

echo "== Installing what the build needs (if anything is missing)"
"$top/scripts/install-deps.sh"
echo "== Building every program into build/bin"
"$top/scripts/build.sh" release >/dev/null
bin=$top/build/bin
export PATH="$bin:$PATH"

# The job's account is the service's; the client acts as the local
# administrator of the emulated machine.
export USERNAME=Administrator
unset USERDOMAIN ZEB_J_FORMAT ZEB_S_FORMAT ZEB_SJ_FORMAT ZEB_TJ_FORMAT ZEB_TS_FORMAT SERVERLIST

echo "== The network"
ntnet info
machine=$(ntnet info | sed -n 's/^local machine: *//p')
export COMPUTERNAME=$machine
ntnet boot "$machine" >/dev/null

# The job's output files go to the service's TempDir, C:\TEMP of the machine.
drive_c=$(ntnet drive list "$machine" | sed -n 's/^C: *[a-z]* *//p')
mkdir -p "$drive_c/TEMP"

echo "== zeb sho: is the scheduler installed on $machine?"
if zeb sho "~F~S ~s ~V" 2>/dev/null | grep -q .; then
  echo "   it is (zeb upd /y would replace it with another version)"
else
  echo "== zeb add /y: installing the ZEB Service (the program registers itself in place)"
  zeb add /y /l0:15
fi
if ! zeb sho "~F~s" 2>/dev/null | grep -q RUNNING; then
  echo "== zeb start /y"
  zeb start /y
fi
zeb sho

# A job due in the coming minute: its command is a small shell script kept
# on the machine's C: drive.
script=$drive_c/TEMP/demo.sh
cat >"$script" <<'SH'
#!/bin/sh
echo "Hello from the scheduler: job $ZEBname on $COMPUTERNAME as $USERNAME"
echo "Run started $ZEBdd.$ZEBmm.$ZEByyyy"
ls -1 "$(dirname "$0")" | head -5
SH
chmod +x "$script"
when=$(date -d '+1 minute' '+%d.%m.%Y %H:%M')
echo "== zeb add demo: a job due at $when"
# From an earlier run: its I/O files go (clean), then the job (del).
zeb clean demo /y >/dev/null 2>&1 || true
zeb del demo /y >/dev/null 2>&1 || true
zeb add demo "/c/bin/sh $script" "/t$when" /G1 /y
zeb sho '*'

echo "== Waiting for the minute (up to 2 minutes)"
out=$drive_c/TEMP/demo.OUT
for _ in $(seq 120); do
  if [ -f "$out" ] && grep -q "^END of Job" "$out"; then break; fi
  sleep 1
  printf '.'
done
echo
echo "== The job line after its run (last run, exit code, next run)"
zeb sho demo "~F~-.20N ~s last=~l exit=~E next=~t"
echo "== The job's OUT file ($out)"
cat "$out"
echo "== Done. Go on with: zeb sho '*'   zeb start demo /y   zeb del demo /y   zeb stop /y"
