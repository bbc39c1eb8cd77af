# Sourced by a guest's init (busybox sh): mounts the host's root file system, exported by
# QEMU as the 9p tag "hostroot", read-only at /host, with the guest's own /proc, /sys, /dev and
# configfs and an empty tmpfs for /run, so that `chroot /host PROGRAM` runs a program of the
# host with its shared libraries. Returns non-zero when there is no such export.
mount_host_root() {
    grep -qs hostroot /sys/bus/virtio/drivers/9pnet_virtio/*/mount_tag || return 1
    mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 hostroot /host ||
        return 1
    mount -t proc proc /host/proc
    mount -t sysfs sysfs /host/sys
    mount -t devtmpfs devtmpfs /host/dev
    mount -t tmpfs tmpfs /host/run
    if [ -d /sys/kernel/config ]; then
        mount -t configfs configfs /host/sys/kernel/config 2>/dev/null
    fi
    overlay_host_tmp /host
}

# Makes ROOT/tmp writable without hiding the host's /tmp, where a build folder may lie: an
# overlay over it whose changes stay in the guest's memory, in a tmpfs outside ROOT.
overlay_host_tmp() {
    local scratch=/host-tmp
    mkdir -p $scratch && mount -t tmpfs -o mode=700 tmpfs $scratch || return 1
    mkdir -p $scratch/upper $scratch/work && chmod 1777 $scratch/upper
    mount -t overlay overlay -o lowerdir=$1/tmp,upperdir=$scratch/upper,workdir=$scratch/work \
        $1/tmp
}
