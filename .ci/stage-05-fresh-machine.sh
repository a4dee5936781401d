#!/usr/bin/env bash
# Proves the README's first command on a machine without the build's tools: a minimal Debian 12
# made with debootstrap, holding nothing but a clone of this commit, runs the first command of
# "Build and test" as root, which must install what it needs itself and leave the example's
# report and page. Needs root (debootstrap and chroot) and Debian's package archive.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ] || ! chroot / true 2>/dev/null; then
  echo "this check needs root and chroot, to make and enter a clean Debian"
  exit 1
fi
bash .ci/install-deps.sh debootstrap

machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
started=$SECONDS
debootstrap --variant=minbase bookworm "$machine" >"$machine.log" 2>&1 || {
  tail -20 "$machine.log"
  exit 1
}
rm -f "$machine.log"
echo "a minimal Debian 12 in $((SECONDS - started)) s"
cp /etc/resolv.conf "$machine/etc/resolv.conf"
git clone --quiet . "$machine/root/fragtally"

first=$(bash .ci/readme-commands.sh "Build and test" | head -n 1)
echo "$first"
# A clean environment, as on a new machine; a proxy the host's apt uses is passed on.
environment=(PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8)
for name in http_proxy https_proxy CMAKE_BUILD_PARALLEL_LEVEL; do
  if [ -n "${!name:-}" ]; then
    environment+=("$name=${!name}")
  fi
done
chroot "$machine" /usr/bin/env -i "${environment[@]}" bash -c "cd /root/fragtally && $first" \
  </dev/null >"$machine/output" 2>&1 || {
  tail -30 "$machine/output"
  exit 1
}
cmp "$machine/root/fragtally/examples/qconsole.txt" tests/data/example.qconsole.txt
grep -q '^<!DOCTYPE html>' "$machine/root/fragtally/examples/qconsole.html"
echo "the README's first command on a clean Debian 12: report as expected, page there" \
  "($((SECONDS - started)) s)"
