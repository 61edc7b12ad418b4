#!/bin/sh
# Creates (or refreshes) the account the test hosts log in: a password for
# SSH password logins and a ~/.rhosts that lets rlogin from 127.0.0.1 in
# without one. Safe to run again. Needs root.
#   account.sh [user [password]]
set -eu
user=${1:-korvextest}
password=${2:-Korvex-Test-1}

if ! getent passwd "$user" >/dev/null; then
  useradd --create-home --shell /bin/sh "$user"
fi
home=$(getent passwd "$user" | cut -d: -f6)
mkdir -p "$home"
chown "$user:" "$home"
chmod 755 "$home"
echo "$user:$password" | chpasswd
printf 'localhost %s\n127.0.0.1 %s\n' "$user" "$user" > "$home/.rhosts"
chown "$user:" "$home/.rhosts"
chmod 600 "$home/.rhosts"
# sshd's privilege separation directory
mkdir -p /run/sshd
chmod 755 /run/sshd
