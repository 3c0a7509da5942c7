#!/bin/sh
# The programs of a default build carry no FTP password: neither `strings`
# nor `strings -el` (UTF-16, as Windows keeps wide text) finds it in them.
# The account's user name, which they do carry, shows that both readings
# reach the constants at all.
#   programs_carry_no_password.sh PASSWORD USER PROGRAM...
set -u
password=$1 user=$2
shift 2
status=0
for program in "$@"; do
  if ! strings -a "$program" | grep -qF "$user"; then
    echo "$program: strings does not even find \"$user\"" >&2
    status=1
  fi
  for encoding in s l; do
    if strings -a -e "$encoding" "$program" | grep -qF "$password"; then
      echo "$program: strings -e $encoding finds the password" >&2
      status=1
    fi
  done
done
exit $status
