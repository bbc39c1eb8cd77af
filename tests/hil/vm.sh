# A small virtual machine for tests on Debian's real kernel, to be sourced by a run script:
# the kernel and the modules it names come from the kernel package (fetched once with
# apt-get download into ${XDG_CACHE_HOME:-~/.cache}/tessary32-hil), the first process from a
# busybox initramfs. With hil_host_root_args the guest also gets this machine's root file
# system read-only over 9p, and the guest-side helper host-root.sh turns it into a place to
# chroot into (the programs and shared libraries of the host, such as Qt or Wine, are there).
#
#   source tests/hil/vm.sh
#   hil_find_kernel hid uhid ...          # sets hil_kernel_dir
#   hil_stage_initramfs STAGE INIT "hid" "dummy_hcd num=3" ...   # busybox, init, modules
#   cp programs "$STAGE/bin/"; hil_pack_initramfs STAGE IMAGE
#   hil_boot IMAGE LOG TIMEOUT_S MEMORY [QEMU ARGS...]    # e.g. $(hil_host_root_args)
#
# The caller defines fail() (prints and exits). Modules are given in load order, each with
# its parameters; insmod resolves nothing, so a module must come after those it needs.
hil_cache=${XDG_CACHE_HOME:-$HOME/.cache}/tessary32-hil
hil_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

hil_is_static() { ! LC_ALL=C readelf -l "$1" 2>/dev/null | grep -q 'program interpreter'; }

# The real kernel package behind the linux-image-amd64 metapackage, e.g. linux-image-6.1.0-NN-amd64.
hil_kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1
}

# The ELF kernel inside vmlinuz: QEMU boots it through its PVH entry, twice as fast as the
# bzImage. The xz stream starts at the first xz magic.
hil_unpack_vmlinux() {
    local vmlinuz=$1 target=$2 offset
    offset=$(LC_ALL=C grep -m 1 -obUaP '\xFD7zXZ\x00' "$vmlinuz" | head -n 1 | cut -d: -f1)
    [[ -n $offset ]] || fail "no xz stream in $vmlinuz"
    # xz stops after the stream and tail may die of SIGPIPE: only xz's status counts.
    xz -dc --single-stream < <(tail -c +$((offset + 1)) "$vmlinuz") >"$target"
    [[ $(head -c 4 "$target" | od -An -tx1 | tr -d ' ') == 7f454c46 ]] ||
        fail "the kernel unpacked from $vmlinuz is not ELF"
}

# Copies one module, decompressed, and checks that what it needs comes before it.
hil_take_module() {
    local tree=$1 name=$2 target=$3 file dep depends
    file=$(find "$tree" -name "$name.ko" -o -name "$name.ko.xz" -o -name "$name.ko.zst" | head -n 1)
    [[ -n $file ]] || fail "module $name is not in the kernel package"
    case $file in
        *.xz) xz -dc "$file" >"$target/$name.ko" ;;
        *.zst) zstd -qdc "$file" >"$target/$name.ko" ;;
        *) cp "$file" "$target/$name.ko" ;;
    esac
    depends=$(LC_ALL=C grep -ao 'depends=[a-z0-9_,-]*' "$target/$name.ko" | head -n 1 | cut -d= -f2)
    for dep in ${depends//,/ }; do
        [[ " ${hil_taken[*]} " == *" ${dep//_/-} "* || " ${hil_taken[*]} " == *" $dep "* ]] ||
            fail "module $name needs $dep, which is not loaded before it"
    done
    hil_taken+=("$name")
}

# The kernel and every module the cache has ever been asked for.
hil_fetch_kernel() {
    local package=$1 work module
    shift
    command -v apt-get >/dev/null || fail "apt-get is needed to fetch $package"
    mkdir -p "$hil_cache"
    work=$(mktemp -d "$hil_cache/fetch.XXXXXX")
    trap "rm -rf '$work'" EXIT
    echo "hil: fetching $package into $hil_cache"
    (cd "$work" && apt-get download -q "$package" >/dev/null 2>&1) || fail "apt-get download $package failed"
    dpkg -x "$work"/*.deb "$work/package"
    mkdir -p "$work/kernel/modules"
    hil_unpack_vmlinux "$(ls "$work"/package/boot/vmlinuz-*)" "$work/kernel/vmlinux"
    hil_taken=()
    for module in "$@"; do
        hil_take_module "$work/package/lib/modules" "$module" "$work/kernel/modules"
    done
    echo "$@" >"$work/kernel/modules/order"
    rm -rf "${hil_cache:?}/$package"
    mv "$work/kernel" "$hil_cache/$package"
    rm -rf "$work"
    trap - EXIT
}

# Sets hil_kernel_dir to a cached kernel with these modules (names only, in load order),
# fetching it when the cache has not got them all.
hil_find_kernel() {
    local package module complete=1
    package=$(hil_kernel_package)
    if [[ -z $package ]]; then
        # No package lists: fall back to the newest kernel already cached.
        hil_kernel_dir=$(ls -d "$hil_cache"/linux-image-*/ 2>/dev/null | sort -V | tail -n 1)
        [[ -n $hil_kernel_dir ]] || fail "cannot resolve linux-image-amd64 (apt-get update?) and nothing is cached"
        hil_kernel_dir=${hil_kernel_dir%/}
        return
    fi
    hil_kernel_dir=$hil_cache/$package
    for module in "$@"; do
        [[ -f $hil_kernel_dir/modules/$module.ko ]] || complete=0
    done
    [[ -f $hil_kernel_dir/vmlinux && $complete -eq 1 ]] && return
    # Those cached before stay, in their order after these: each guest needs its own set.
    local wanted=("$@")
    for module in $(cat "$hil_kernel_dir/modules/order" 2>/dev/null); do
        [[ " ${wanted[*]} " == *" $module "* ]] || wanted+=("$module")
    done
    hil_fetch_kernel "$package" "${wanted[@]}"
}

# STAGE gets busybox, INIT as /init, the guest helpers and the modules; /lib/modules/load-order
# lists the modules with their parameters, one a line. Each further argument is a module name,
# optionally followed by its parameters ("dummy_hcd num=3").
hil_stage_initramfs() {
    local stage=$1 init=$2 line busybox
    shift 2
    busybox=$(command -v busybox) || fail "busybox is not installed (busybox-static)"
    hil_is_static "$busybox" || fail "$busybox is not static: install busybox-static"
    mkdir -p "$stage"/{bin,dev,proc,sys,tmp,run,host,lib/modules,lib/hil}
    cp "$busybox" "$stage/bin/busybox"
    install -m 755 "$init" "$stage/init"
    cp "$hil_dir/host-root.sh" "$stage/lib/hil/"
    : >"$stage/lib/modules/load-order"
    for line in "$@"; do
        cp "$hil_kernel_dir/modules/${line%% *}.ko" "$stage/lib/modules/"
        echo "$line" >>"$stage/lib/modules/load-order"
    done
}

hil_pack_initramfs() {
    local stage=$1 image=$2
    if command -v cpio >/dev/null; then
        (cd "$stage" && find . | cpio -o -H newc --quiet) >"$image"
    else
        (cd "$stage" && find . | busybox cpio -o -H newc 2>/dev/null) >"$image"
    fi
}

# The modules the guest needs for the host's root file system over 9p, in load order.
hil_host_root_modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci
                       netfs fscache 9pnet 9pnet_virtio 9p overlay)

# QEMU arguments that export / read-only as the 9p tag "hostroot" (host-root.sh mounts it).
hil_host_root_args() {
    echo "-virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap"
}

# Boots the kernel with the initramfs, one CPU under TCG, the serial console into LOG; returns
# QEMU's status (124 when it ran out of time).
hil_boot() {
    local image=$1 log=$2 seconds=$3 memory=$4
    shift 4
    timeout "$seconds" qemu-system-x86_64 -accel tcg -cpu max -m "$memory" -smp 1 \
        -nographic -nodefaults -serial stdio -no-reboot \
        -kernel "$hil_kernel_dir/vmlinux" -initrd "$image" \
        -append "console=ttyS0 panic=-1 quiet" "$@" </dev/null >"$log" 2>&1
}
