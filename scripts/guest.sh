#!/usr/bin/env bash
# Runs one command in a QEMU guest on Debian's own kernel, with real drivers and no hardware,
# and exits with the command's status:
#   scripts/guest.sh [--share[-cached] DIR] [--timeout SECONDS] [QEMU-OPTION...] -- COMMAND...
# COMMAND runs as root in the current folder, chrooted into the host's root, which the guest
# mounts read-only over 9p (cached: files changed on the host meanwhile may look stale). DIR is
# writable, under the same path, and so is a fresh /run; /tmp, /var/tmp and /root are the host's
# with a tmpfs on top. --share-cached caches DIR too: for a folder the host leaves alone
# meanwhile, as Wine fails to load DLLs from an uncached one. The guest has the 8250 UART
# driver, ftdi_sio and an xHCI host; the QEMU-OPTIONs give it devices (-chardev, -device,
# -trace...). The command's output comes back on stdout as it runs; the guest's console is kept
# in build-drivers/guest/. The kernel package is fetched with apt and unpacked there, once. A
# guest still running after SECONDS (600 by default) is killed, with status 124, and so is one
# whose caller goes away.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cache="$root/build-drivers/guest"

share="" cached="" limit=600 qemu=()
while (($#)) && [[ "$1" != -- ]]; do
    case "$1" in
    --share | --share-cached)
        [[ $1 == --share ]] || cached=,cache=loose
        share="$(realpath -m "$2")" && shift 2
        ;;
    --timeout) limit="$2" && shift 2 ;;
    *) qemu+=("$1") && shift ;;
    esac
done
if [[ "${1:-}" != -- || $# -lt 2 ]]; then
    echo "usage: $0 [--share[-cached] DIR] [--timeout SECONDS] [QEMU-OPTION...] -- COMMAND..." >&2
    exit 2
fi
shift
"$root/scripts/install-packages.sh" qemu-system-x86 busybox-static xz-utils

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
mkdir -p "$cache"
exec {lock}>"$cache/lock"
flock "$lock" # one unpacking at a time

# The kernel, uncompressed: booted as an ELF file (PVH), it spares the guest a slow unpacking.
package() { apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/.*Depends: //p' | head -1; }
[[ -n "$(package)" ]] || "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 update
kernel="$cache/$(package)"
if [[ ! -f "$kernel/vmlinux" ]]; then
    echo "guest: fetching $(basename "$kernel")" >&2
    rm -rf "$cache"/linux-image-* "$cache/unpack"
    mkdir -p "$cache/unpack"
    as_apt=()
    [[ $(id -u) -ne 0 ]] || as_apt=(-o APT::Sandbox::User=root)
    (cd "$cache/unpack" && apt-get -q "${as_apt[@]}" download "$(basename "$kernel")")
    dpkg-deb --fsys-tarfile "$cache"/unpack/*.deb | tar -x -C "$cache/unpack" --wildcards \
        './boot/vmlinuz-*' './lib/modules/*/kernel/'{drivers/virtio,drivers/usb,fs,net/9p}'/*'
    image=$(echo "$cache"/unpack/boot/vmlinuz-*)
    offset=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$image" | head -1 | cut -d: -f1)
    # xz complains of the bytes that follow the kernel in the image, and stops there.
    tail -c +$((offset + 1)) "$image" | xz -dcq 2>/dev/null >"$cache/unpack/vmlinux" || true
    [[ "$(head -c 4 "$cache/unpack/vmlinux")" == $'\x7fELF' ]]
    mkdir -p "$kernel"
    mv "$cache"/unpack/lib/modules/*/kernel "$kernel/modules"
    mv "$cache/unpack/vmlinux" "$kernel/vmlinux"
    rm -rf "$cache/unpack"
fi
exec {lock}>&-

run=$(mktemp -d "$cache/run.XXXXXX")
guest=""
trap '[[ -z "$guest" ]] || kill -KILL "$guest" 2>/dev/null; rm -rf "$run"' EXIT
trap 'exit 143' TERM INT HUP

# The initramfs: busybox, the modules in the order their dependencies ask, and an init that
# mounts the host's root and runs the command.
mkdir -p "$run/initramfs/bin" "$run/initramfs/modules" "$run/guest"
cp /bin/busybox "$run/initramfs/bin/"
loaded=" "
load() {
    local file dependency
    [[ "$loaded" != *" ${1//-/_} "* ]] || return 0
    file=$(find "$kernel/modules" -name "$(sed 's/[-_]/[-_]/g' <<<"$1").ko" | head -1)
    for dependency in $(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | tr , ' '); do
        load "$dependency"
    done
    loaded+="${1//-/_} "
    cp "$file" "$run/initramfs/modules/$(printf %02d "$(wc -w <<<"$loaded")")-$1.ko"
}
for module in virtio_pci 9pnet_virtio 9p overlay xhci_pci ftdi_sio; do load "$module"; done
cat >"$run/initramfs/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mkdir -p /proc /sys /dev /host /guest /upper
mount -t proc proc /proc && mount -t sysfs sys /sys && mount -t devtmpfs dev /dev
for module in /modules/*.ko; do insmod "$module"; done
nine="-t 9p -o trans=virtio,version=9p2000.L,msize=262144"
mount $nine,ro,cache=loose root /host && mount $nine guest /guest
. /guest/setup
mount -t proc proc /host/proc && mount -t sysfs sys /host/sys && mount -t devtmpfs dev /host/dev
mkdir -p /host/dev/pts /host/dev/shm
mount -t devpts -o ptmxmode=0666 pts /host/dev/pts && mount -t tmpfs shm /host/dev/shm
mount -t tmpfs -o mode=755 run /host/run && mkdir -m 1777 /host/run/lock
mount -t tmpfs upper /upper
for folder in tmp var/tmp root; do
    upper="/upper/$folder"
    mkdir -p "$upper/files" "$upper/work"
    mount -t overlay -o "lowerdir=/host/$folder,upperdir=$upper/files,workdir=$upper/work" \
        overlay "/host/$folder"
done
[ -z "$share" ] || mount $nine$cached share "/host$share"
ifconfig lo 127.0.0.1 up
# A quiet console: its UART is a 16550 too, traced by QEMU under the same names as the others.
echo 1 >/proc/sys/kernel/printk
cp /guest/command /host/run/command
chroot /host /bin/sh /run/command </dev/null >/guest/output 2>&1
echo $? >/guest/status
poweroff -f
EOF
chmod +x "$run/initramfs/init"
(cd "$run/initramfs" && find . | busybox cpio -o -H newc 2>/dev/null) >"$run/initramfs.cpio"

printf 'share=%q cached=%q\n' "$share" "$cached" >"$run/guest/setup"
{
    echo 'export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root'
    echo 'export LANG=C.UTF-8 TERM=dumb'
    printf 'cd %q && exec' "$PWD" && printf ' %q' "$@" && echo
} >"$run/guest/command"
: >"$run/guest/output"
shares=(-virtfs "local,path=/,mount_tag=root,security_model=none,readonly=on,multidevs=remap"
    -virtfs "local,path=$run/guest,mount_tag=guest,security_model=none")
if [[ -n "$share" ]]; then
    mkdir -p "$share"
    shares+=(-virtfs "local,path=$share,mount_tag=share,security_model=none")
fi

# A guest that hangs ignores SIGTERM: timeout follows it with SIGKILL, and the guest dies with
# timeout, which dies with this script. TCG, the same on every machine: the nested KVM that some
# offer refuses QEMU's CPU models.
timeout --foreground -k 5 "$limit" setpriv --pdeathsig KILL \
    qemu-system-x86_64 -nodefaults -no-user-config -display none -no-reboot \
    -machine pc -accel tcg -cpu max -m 2G \
    -kernel "$kernel/vmlinux" -initrd "$run/initramfs.cpio" \
    -append "console=ttyS0 rdinit=/init panic=-1 quiet" \
    -chardev file,id=console,path="$cache/console.log" -serial chardev:console \
    "${shares[@]}" "${qemu[@]}" &
guest=$!
tail -n +1 -s 0.2 -f --pid="$guest" "$run/guest/output" &
status=0
wait "$guest" || status=$?
wait
guest=""
if ((status == 124)); then
    echo "guest: killed after ${limit} s" >&2
    exit 124
fi
if [[ ! -s "$run/guest/status" ]]; then
    echo "guest: ended without the command's status (exit $status); its console:" >&2
    tail -n 20 "$cache/console.log" >&2
    exit 125
fi
exit "$(cat "$run/guest/status")"
