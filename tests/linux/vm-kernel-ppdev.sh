#!/bin/sh
# The ppdev library on the kernel's own driver: QEMU (TCG) boots Debian's
# kernel with an emulated ISA parallel port whose output goes to a file, and a
# busybox initramfs that loads parport_pc and ppdev and runs
# vm_port_test. The guest reports its result through QEMU's debug-exit port
# (QEMU then exits with 2 * result + 1); the bytes the program printed with a
# strobe must arrive in the port's file.
#
#   vm-kernel-ppdev.sh VM_PORT_TEST CACHE_DIR WORK_DIR
#
# The kernel is fetched once with apt-get download into CACHE_DIR (only the
# kernel image, uncompressed, and the three modules are kept); /boot is never
# touched. The guest loads the modules with the command docs/linux.md gives,
# modprobe -a parport_pc ppdev (parport comes as parport_pc's dependency).
set -eu
program=$1 cache=$2 work=$3

if [ ! -f "$cache/vmlinux" ] || [ ! -f "$cache/modules/ppdev.ko" ]; then
    rm -rf "$cache"
    mkdir -p "$cache/unpacked" "$cache/modules"
    package=$(apt-cache depends linux-image-amd64 2>/dev/null |
              awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
    if [ -z "$package" ]; then
        apt-get update -qq
        package=$(apt-cache depends linux-image-amd64 |
                  awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
    fi
    (cd "$cache" && apt-get download -q "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed')
    dpkg-deb --fsys-tarfile "$cache"/*.deb | tar -x -C "$cache/unpacked" --wildcards \
        './boot/vmlinuz-*' './lib/modules/*/kernel/drivers/parport/parport.ko*' \
        './lib/modules/*/kernel/drivers/parport/parport_pc.ko*' \
        './lib/modules/*/kernel/drivers/char/ppdev.ko*'
    for module in $(find "$cache/unpacked/lib" -name '*.ko*'); do
        case "$module" in
            *.xz) xz -dc "$module" >"$cache/modules/$(basename "$module" .xz)" ;;
            *) cp "$module" "$cache/modules/" ;;
        esac
    done
    # QEMU boots the uncompressed kernel in a third of the time: the image
    # holds one xz stream, from its magic on.
    image=$(echo "$cache"/unpacked/boot/vmlinuz-*)
    offset=$(LC_ALL=C grep -obUaP '\xFD7zXZ\x00' "$image" | head -n 1 | cut -d: -f1)
    tail -c +$((offset + 1)) "$image" | xz -dc --single-stream >"$cache/vmlinux.part"
    mv "$cache/vmlinux.part" "$cache/vmlinux"
    rm -rf "$cache/unpacked" "$cache"/*.deb
fi

rm -rf "$work"
mkdir -p "$work/initramfs/bin" "$work/initramfs/modules"
cp "$(command -v busybox)" "$work/initramfs/bin/busybox"
cp "$cache"/modules/*.ko "$work/initramfs/modules/"
cp "$program" "$work/initramfs/vm_port_test"
cat >"$work/initramfs/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mkdir -p /dev /proc /sys
mount -t devtmpfs dev /dev
mount -t proc proc /proc
modules=/lib/modules/$(uname -r)
mkdir -p "$modules"
cp /modules/*.ko "$modules/"
depmod
modprobe -a parport_pc ppdev
/vm_port_test
result=$?
# QEMU's isa-debug-exit at 0xF4: the byte written ends QEMU with 2 * byte + 1.
printf "\\$(printf %o $result)" | dd of=/dev/port bs=1 seek=244 2>/dev/null
poweroff -f
INIT
chmod +x "$work/initramfs/init"
(cd "$work/initramfs" && find . | busybox cpio -o -H newc -R 0:0 2>/dev/null) | gzip -1 >"$work/init.cpio.gz"

: >"$work/lpt.out"
set +e
timeout 120 qemu-system-x86_64 -M pc -accel tcg -smp 1 -m 256 -nographic -no-reboot \
    -nodefaults -serial stdio -monitor none -kernel "$cache/vmlinux" -initrd "$work/init.cpio.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 tsc=reliable" \
    -chardev file,id=lpt,path="$work/lpt.out" -device isa-parallel,chardev=lpt \
    -device isa-debug-exit,iobase=0xf4,iosize=0x01 >"$work/console.txt" 2>&1
code=$?
set -e
grep -a 'vm_port_test:' "$work/console.txt" | sed 's/^.*vm_port_test:/vm_port_test:/'

failures=0
if [ $code -ne 1 ]; then
    echo "FAIL: QEMU exit code $code (1 = the guest passed; 0 = it never reported)"
    tail -n 20 "$work/console.txt"
    failures=1
fi
if [ "$(od -An -c "$work/lpt.out" | tr -s ' ')" != "$(printf 'ppdev\n' | od -An -c | tr -s ' ')" ]; then
    echo "FAIL: the port's file holds:"; od -c "$work/lpt.out"
    failures=1
fi
[ $failures -eq 0 ] && echo "all passed"
exit $failures
