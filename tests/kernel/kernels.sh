# The kernel table (tests/kernel/kernels) for the scripts that build and boot
# its kernels; sourced by scripts/router-kernel, scripts/kernel-case,
# scripts/kernel-bench, scripts/test and run_case. A row names a router
# target of cmake/targets, whose row says how to build and boot the kernel;
# what a machine needs besides is here.
kernels_table=$(dirname "${BASH_SOURCE[0]}")/kernels
kernels_target=$(dirname "${BASH_SOURCE[0]}")/../../scripts/target

# kernel_names [TARGET]: the kernels, in the table's order; of one target.
kernel_names() {
    awk -v target="${1:-}" '!/^#/ && NF && (target == "" || $2 == target) { print $1 }' \
        "$kernels_table"
}

# kernel_packages: the source packages the machine's own apt installs.
kernel_packages() {
    awk '!/^#/ && NF && $4 == "-" { print $3 }' "$kernels_table"
}

# kernel_row NAME: the row's columns into k_name, k_target, k_package,
# k_suites, k_base, k_fragments, k_backends and k_cases; from its target's
# row, the cross compiler's prefix, qemu-system, the machine, the CPU model,
# the console and the make ARCH into k_cross, k_qemu, k_machine, k_cpu,
# k_console and k_make_arch, and the Debian packages of the first two into
# k_tools; the machine's kernel image into k_image (its make target; where
# the build leaves it, k_image_built), the serial port of the results into
# k_results. Says why where it cannot.
kernel_row() {
    local row cells compiler
    row=$(awk -v name="$1" '!/^#/ && $1 == name' "$kernels_table")
    if [ -z "$row" ]; then
        echo "no kernel $1 in $kernels_table (it has: $(kernel_names | paste -sd ' '))" >&2
        return 1
    fi
    read -r k_name k_target k_package k_suites k_base k_fragments k_backends k_cases <<<"$row"
    cells=$("$kernels_target" "$k_target" compiler system machine kcpu console arch) || return 1
    { read -r compiler && read -r k_qemu && read -r k_machine && read -r k_cpu &&
        read -r k_console && read -r k_make_arch; } <<<"$cells"
    k_cross=$compiler-
    # Debian packs each family's qemu-system binaries in one package.
    case $k_qemu in
    qemu-system-mips*) k_tools="gcc-$compiler qemu-system-mips" ;;
    qemu-system-aarch64) k_tools="gcc-$compiler qemu-system-arm" ;;
    *) k_tools="gcc-$compiler $k_qemu" ;;
    esac
    # Malta: the serial port after the console (ttyS0: /dev/ttyS1). virt has
    # one UART, the console: the results go to a 16550 on its PCI bus.
    case $k_machine in
    malta) k_image=vmlinux k_image_built=vmlinux k_results=/dev/ttyS1 ;;
    virt)
        k_image=Image
        if [ "$k_make_arch" = arm ]; then k_image=zImage; fi
        k_image_built=arch/$k_make_arch/boot/$k_image k_results=/dev/ttyS0
        ;;
    *)
        echo "kernel $1: no machine $k_machine in ${BASH_SOURCE[0]}" >&2
        return 1
        ;;
    esac
}

# kernel_initramfs ROOT OUT: the folder ROOT as the initramfs OUT, owned by root.
kernel_initramfs() {
    (cd "$1" && find . -mindepth 1 | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) >"$2"
}

# kernel_qemu IMAGE CPU MAC WORK: the machine of the current row into the
# array qemu_command: IMAGE booted with WORK/initramfs.cpio, the console
# into WORK/console, the results into WORK/results.tar; eth0 (address MAC)
# on a hub with nothing else on it, so no frame leaves qemu.
kernel_qemu() {
    local image=$1 cpu=$2 mac=$3 work=$4 machine=$k_machine
    # 32-bit ARM without LPAE reaches no PCI space above 4 GiB.
    if [ "$k_machine" = virt ] && [ "$k_make_arch" = arm ]; then
        machine=virt,highmem=off
    fi
    qemu_command=("$k_qemu" -M "$machine" -cpu "$cpu" -m 64 -nographic -monitor none -no-reboot
        -kernel "$image" -initrd "$work/initramfs.cpio" -append "console=$k_console panic=-1"
        -serial "file:$work/console" -netdev hubport,id=lan,hubid=0)
    case $k_machine in
    # The card in the slot of Malta's own, whose interrupt the kernel knows.
    malta)
        qemu_command+=(-serial "file:$work/results.tar" -vga none
            -device "pcnet,addr=0b,netdev=lan,mac=$mac,romfile=")
        ;;
    virt)
        qemu_command+=(-chardev "file,id=results,path=$work/results.tar"
            -device pci-serial,chardev=results
            -device "virtio-net-pci,netdev=lan,mac=$mac,romfile=")
        ;;
    esac
}
