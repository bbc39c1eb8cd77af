# Sourced by a guest's init (busybox sh): mounts the host's root file system, exported by
# QEMU as the 9p tag "hostroot", read-only at /host, with the guest's own /proc, /sys, /dev and
# configfs and empty tmpfs for /tmp and /run, so that `chroot /host PROGRAM` runs a program of
# the host with its shared libraries. Returns non-zero when there is no such export.
mount_host_root() {
    grep -qs hostroot /sys/bus/virtio/drivers/9pnet_virtio/*/mount_tag || return 1
    mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 hostroot /host ||
        return 1
    mount -t proc proc /host/proc
    mount -t sysfs sysfs /host/sys
    mount -t devtmpfs devtmpfs /host/dev
    mount -t tmpfs tmpfs /host/tmp
    mount -t tmpfs tmpfs /host/run
    if [ -d /sys/kernel/config ]; then
        mount -t configfs configfs /host/sys/kernel/config 2>/dev/null
    fi
    return 0
}
