#!/bin/sh
# Installs the Debian packages named in $PACKAGES that are missing.
# As root it installs them; otherwise it prints the command to run.
missing=""
for package in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing="$missing $package"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" = 0 ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q && apt-get install -y -q --no-install-recommends $missing
else
  echo "Missing packages. Run:"
  echo "  sudo apt-get install -y$missing"
  exit 1
fi
