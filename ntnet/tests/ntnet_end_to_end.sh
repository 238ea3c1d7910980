#!/usr/bin/env bash
# End-to-end test of ntnet: a network of three machines in two domains,
# listed, changed, taken offline, its registries written and dumped, and
# the errors and exit codes of bad input.
#   ntnet_end_to_end.sh PATH/TO/ntnet
set -u
ntnet=${1:?usage: $0 PATH/TO/ntnet}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export NT_NETWORK=$work/net
unset COMPUTERNAME USERDOMAIN NT_CLOCK_OFFSET NT_ACP NT_OEMCP
export USERNAME=tester TZ=UTC LANG=C.UTF-8

passed=0
failed=0
out=$work/out
errout=$work/err

# run EXPECTED_CODE ARGS...: runs ntnet, keeps its output in $out and $errout.
run() {
  local want=$1
  shift
  "$ntnet" "$@" >"$out" 2>"$errout"
  local got=$?
  if [ "$got" -eq "$want" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: ntnet $* exited $got, expected $want" >&2
    sed 's/^/  stderr: /' "$errout" >&2
  fi
}

# check DESCRIPTION COMMAND...: a shell condition.
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what" >&2
  fi
}

has() { grep -qE -- "$1" "$2"; }

# --- help and the command line
run 0 --help
check "help explains the model" has "machines/<NAME>/" "$out"
check "help documents the dump format" has "Dump format" "$out"
run 2
run 2 frobnicate
check "unknown command named" has "unknown command 'frobnicate'" "$errout"
run 2 machine fly
run 0 machine add --help

# --- a network of three machines in two domains
run 0 init --machine pdc1 --domain corp
check "init names the machine" has "machine PDC1 \(pdc of CORP\)" "$out"
check "network.ini names the default machine" has "^DefaultMachine=PDC1$" "$NT_NETWORK/network.ini"
check "C: drive with WINNT\\system32" test -d "$NT_NETWORK/machines/PDC1/drives/C/WINNT/system32"
check "run folder" test -d "$NT_NETWORK/machines/PDC1/run"
run 1 init --machine other
check "second init refused" has "exists already" "$errout"
run 0 machine add WS1 --domain CORP --comment "first workstation"
run 0 machine add srv2 --domain lab --role pdc --comment lab

# bad input
run 1 machine add ws1
check "existing machine named" has "WS1 exists already" "$errout"
run 2 machine add SIXTEEN-CHARS-XX
run 2 machine add 'BAD*NAME'
run 2 machine add 'A:B'
run 2 machine add GOOD --domain 'BAD?'
run 2 machine add GOOD --role king
run 2 machine add GOOD --role pdc
check "controller needs a domain" has "needs --domain" "$errout"
run 1 machine add PDC2 --domain corp --role pdc
check "one pdc a domain" has "CORP has its primary domain controller already: PDC1" "$errout"
run 2 machine add GOOD --colour red
run 2 machine add

run 0 machine list
check "list header" has "^NAME +GROUP +ROLE +TYPE +ONLINE +COMMENT$" "$out"
check "pdc listed" has "^PDC1 +CORP +pdc +0000900b +yes" "$out"
check "workstation listed" has "^WS1 +CORP +workstation +00001003 +yes +first workstation$" "$out"
check "lab pdc listed" has "^SRV2 +LAB +pdc +0000900b +yes +lab$" "$out"
check "three machines" test "$(grep -c '^[A-Z]' "$out")" -eq 4

run 0 info
check "info default" has "^default machine: PDC1$" "$out"
check "info local" has "^local machine: PDC1$" "$out"
check "info count" has "^machines: 3$" "$out"

# --- offline machines
run 0 machine set srv2 --online no --comment "down for repair"
run 0 machine list
check "offline shown" has "^SRV2 +LAB +pdc +0000900b +no +down for repair$" "$out"
run 1 machine set NOPE --online no
check "unknown machine named" has "no machine NOPE" "$errout"
run 2 machine set SRV2 --online maybe
run 2 machine set SRV2

# --- registry
key='HKLM\SOFTWARE\Test'
run 0 reg set WS1 "$key" Plain REG_SZ hello --no-nul
run 0 reg set WS1 "$key" Term REG_SZ hello
run 0 reg set WS1 "$key" Multi REG_MULTI_SZ 'a\0b`c\0'
run 0 reg set WS1 "$key" Num REG_DWORD 0x1f
run 0 reg set WS1 "$key" Bin REG_BINARY 0102ff
run 0 reg set WS1 "$key" @ REG_EXPAND_SZ '%SystemRoot%\\x'
run 0 reg set WS1 "$key\\Sub\\Deeper" 'caf'$'\xc3\xa9' REG_DWORD -1
run 0 reg set WS1 "$key" Num2 4 1
run 0 reg dump ws1 'hklm\software\test'
cat >"$work/expected" <<'DUMP'
[HKEY_LOCAL_MACHINE\software\test]
"Plain" = REG_SZ "hello" (no NUL)
"Term" = REG_SZ "hello"
"Multi" = REG_MULTI_SZ "a\0b`c\0"
"Num" = REG_DWORD 0x0000001f (31)
"Bin" = REG_BINARY hex 01 02 ff
@ = REG_EXPAND_SZ "%SystemRoot%\\x"
"Num2" = REG_DWORD 0x00000001 (1)

[HKEY_LOCAL_MACHINE\software\test\Sub]

[HKEY_LOCAL_MACHINE\software\test\Sub\Deeper]
"café" = REG_DWORD 0xffffffff (4294967295)

DUMP
check "dump shows types and data exactly" diff -u "$work/expected" "$out"

# the same key is not on the other machines
run 1 reg dump PDC1 "$key"
check "missing key reported" has "not found \(error 2\)" "$errout"
# offline machines are reached by ntnet itself
run 0 reg dump SRV2 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog'
check "seeded event logs, in order" test "$(grep '^\[' "$out" | tr '\n' ' ')" = \
  '[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog] [HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog\Application] [HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog\Security] [HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog\System] '
run 0 reg dump SRV2 'HKU\.DEFAULT' --times
check "times shown on request" has "^written [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]{12}$" "$out"
run 0 reg set PDC1 'HKCU\Software\Mine' Who REG_SZ me
run 0 reg dump PDC1 'HKCU\Software'
check "current user's key" has '^"Who" = REG_SZ "me"$' "$out"
run 0 reg dump PDC1 'HKCR'
check "classes root is HKLM\\SOFTWARE\\Classes" has '^\[HKEY_CLASSES_ROOT\]$' "$out"

run 2 reg dump WS1 'HKEY_NOWHERE\x'
run 2 reg dump WS1
run 1 reg dump NOPE "$key"
run 2 reg set WS1 "$key" X REG_TEXT x
run 2 reg set WS1 "$key" X REG_DWORD 12abc
run 2 reg set WS1 "$key" X REG_BINARY 0g
run 2 reg set WS1 "$key" X REG_SZ 'bad\q'
run 1 reg set WS1 'HKLM\NEWHIVE' X REG_SZ x
check "no new hives" has "access denied \(error 5\)" "$errout"

run 0 reg del WS1 "$key" Plain
run 1 reg del WS1 "$key" Plain
run 1 reg del WS1 "$key\\Sub"
check "key with subkeys kept" has "access denied \(error 5\)" "$errout"
run 0 reg del WS1 "$key\\Sub\\Deeper"
run 0 reg del WS1 "$key\\Sub"
run 0 reg dump WS1 "$key"
check "deleted value gone" test "$(grep -c Plain "$out")" -eq 0
check "deleted key gone" test "$(grep -c Sub "$out")" -eq 0

# --- drives
mkdir -p "$work/media"
run 0 drive map WS1 d: "$work/media" --type cdrom
run 0 drive map WS1 X "$work/media"
run 0 drive list WS1
check "C: is the machine's own folder" has "^C: +fixed +$NT_NETWORK/machines/WS1/drives/C$" "$out"
check "D: mapped" has "^D: +cdrom +$work/media$" "$out"
check "X: fixed by default" has "^X: +fixed +$work/media$" "$out"
run 1 drive map WS1 E: "$work/missing"
run 2 drive map WS1 1: "$work/media"
run 2 drive map WS1 D: "$work/media" --type tape
run 0 drive unmap WS1 D:
run 1 drive unmap WS1 D:
run 1 drive list NOPE

# --- accounts: users and groups of the domain and of a member
run 0 user list PDC1
check "seeded administrator" has "^Administrator +500 +enabled" "$out"
check "seeded guest, disabled" has "^Guest +501 +disabled" "$out"
run 0 group list pdc1
check "domain admins seeded" has "^global Domain Admins: Administrator$" "$out"
run 0 group add PDC1 Sales --comment "sales staff"
check "group added" has "^Added global group CORP\\\\Sales$" "$out"
run 0 user add PDC1 jdoe --password "s3cret" --full-name "John Doe" --group Sales --group "Domain Admins"
check "user added with a RID" has "^Added user CORP\\\\jdoe \\(RID 1001\\)$" "$out"
run 0 user list \\\\pdc1
check "user listed" has "^jdoe +1001 +enabled +John Doe$" "$out"
run 0 group list PDC1
check "members listed" has "^global Sales: jdoe$" "$out"
check "domain admins grown" has "^global Domain Admins: Administrator, jdoe$" "$out"
run 0 group list WS1
check "member holds the domain's admins" has "^local Administrators: WS1\\\\Administrator, CORP\\\\Domain Admins$" "$out"
run 0 group add WS1 Helpers --local --member CORP\\jdoe --member Everyone
run 0 group list WS1
check "local group members" has "^local Helpers: CORP\\\\jdoe, Everyone$" "$out"
run 1 user add PDC1 JDOE
check "duplicate user refused" has "JDOE is a user of CORP already" "$errout"
run 1 group add WS1 Bad --local --member CORP\\nobody
run 2 user add PDC1 "a,b"
run 2 group fly

# --- deleting machines
run 0 machine del ws1
check "folder removed" test ! -e "$NT_NETWORK/machines/WS1"
run 1 machine del WS1
run 1 machine del PDC1
check "default machine kept" has "default machine" "$errout"
run 0 machine list
check "two machines left" test "$(grep -c '^[A-Z]' "$out")" -eq 3

echo "ntnet end to end: $passed passed, $failed failed"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
