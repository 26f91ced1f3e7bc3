#!/bin/sh
# Installs the weather station on an OpenWrt router, or takes it off again,
# with BusyBox's ash and applets alone. As root, from the unpacked release:
#
#   sh install.sh [--uninstall] [--root DIR]
#
# It puts gustlink, hubpoll and hubpoll-cron in /usr/bin and the service in
# /etc/init.d/gustlink (all mode 0755), enables the service and (re)starts it,
# adds hubpoll's line to /etc/crontabs/root unless it is there and restarts
# cron. Run again, it changes nothing but restarts what runs. --uninstall
# stops and disables the service, takes out that line alone, restarts cron and
# removes the files.
#
# It installs nothing on a router whose CPU the programs are not for: the
# ELF class, byte order and machine of the release's gustlink must be those
# of the router's /bin/busybox (or /bin/sh), as `uname -m` says "mips" for
# either byte order.
#
# --root DIR works on DIR as if it were / (a staging tree). The service
# scripts cannot run there as on the router, their interpreter being
# /etc/rc.common, so each service command goes through DIR/etc/rc.common, with
# IPKG_INSTROOT=DIR as OpenWrt's own staging does, and is left out where DIR
# has none.

usage() {
	echo "usage: sh $0 [--uninstall] [--root DIR]" >&2
	exit 2
}
die() {
	echo "$0: $*" >&2
	exit 1
}

root=
uninstall=
while [ $# -gt 0 ]; do
	case $1 in
	--uninstall) uninstall=1 ;;
	--root)
		[ $# -ge 2 ] || usage
		root=${2%/}
		shift
		;;
	*) usage ;;
	esac
	shift
done

here=$(cd "$(dirname "$0")" && pwd) || exit 1
programs="gustlink hubpoll hubpoll-cron"
line=$(grep -v '^#' "$here/hubpoll.crontab" | grep .) ||
	die "no crontab line in $here/hubpoll.crontab"
# The line of earlier releases, which ran hubpoll under timeout, an applet the
# router lacks: replaced.
old='* * * * * flock -n /var/lock/hubpoll.lock timeout 30 /usr/bin/hubpoll >/dev/null 2>&1'
tab=$root/etc/crontabs/root
status=0

# service NAME ACTION: /etc/init.d/NAME ACTION; a failure is told and makes
# the exit status 1, the rest goes on.
service() {
	if [ -z "$root" ]; then
		"/etc/init.d/$1" "$2"
	elif [ -f "$root/etc/rc.common" ]; then
		IPKG_INSTROOT=$root sh "$root/etc/rc.common" "$root/etc/init.d/$1" "$2"
	else
		echo "left out (no $root/etc/rc.common): /etc/init.d/$1 $2"
		return
	fi || {
		echo "$0: /etc/init.d/$1 $2 failed" >&2
		status=1
	}
}

# put FILE DEST: a copy beside DEST renamed over it, as the file of a program
# that runs cannot be written.
put() {
	cp "$1" "$2.new" && chmod 0755 "$2.new" && mv -f "$2.new" "$2" || {
		rm -f "$2.new"
		die "cannot install $2"
	}
}

# edit_crontab add|remove: the line in once, or out; every other line stays.
# The new table is written beside the old one (crond passes over names with a
# dot) with its owner and mode, and renamed over it.
edit_crontab() {
	if [ "$1" = add ]; then
		[ -f "$tab" ] && grep -qxF "$line" "$tab" && ! grep -qxF "$old" "$tab" && return 0
		mkdir -p "${tab%/*}" || exit 1
	else
		[ -f "$tab" ] && grep -qxF -e "$line" -e "$old" "$tab" || return 0
	fi
	new=$tab.hubpoll
	if [ -f "$tab" ]; then
		cp -p "$tab" "$new" && {
			grep -vxF -e "$line" -e "$old" "$tab" >"$new"
			[ $? -le 1 ] # 1: no line left
		}
	else
		(umask 077 && : >"$new")
	fi || unwritten
	if [ "$1" = add ]; then
		echo "$line" >>"$new" || unwritten
	fi
	mv -f "$new" "$tab" || unwritten
}
unwritten() {
	rm -f "$new"
	die "cannot write $tab"
}

# elf_id FILE: "CLASS ORDER MACHINE" of an ELF file's header (32 or 64, lsb or
# msb, e_machine); fails for any other file.
elf_id() {
	# shellcheck disable=SC2046 # the header's bytes, as words
	set -- $(hexdump -n 20 -v -e '20/1 "%u " "\n"' "$1" 2>/dev/null)
	[ $# -eq 20 ] && [ "$1 $2 $3 $4" = "127 69 76 70" ] || return 1
	case $5$6 in
	11) echo "32 lsb $((${19} + 256 * ${20}))" ;;
	12) echo "32 msb $((256 * ${19} + ${20}))" ;;
	21) echo "64 lsb $((${19} + 256 * ${20}))" ;;
	22) echo "64 msb $((256 * ${19} + ${20}))" ;;
	*) return 1 ;;
	esac
}
# cpu CLASS ORDER MACHINE: in words.
cpu() {
	case $3 in
	8) m=MIPS ;;
	40) m=ARM ;;
	183) m=AArch64 ;;
	62) m=x86-64 ;;
	*) m="machine $3" ;;
	esac
	case $2 in
	lsb) echo "$1-bit little-endian $m" ;;
	*) echo "$1-bit big-endian $m" ;;
	esac
}

if [ -n "$uninstall" ]; then
	edit_crontab remove
	service cron restart
	if [ -f "$root/etc/init.d/gustlink" ]; then
		service gustlink stop
		service gustlink disable
	fi
	for p in $programs; do
		rm -f "$root/usr/bin/$p" || status=1
	done
	rm -f "$root/etc/init.d/gustlink" || status=1
	echo "weather station removed"
	exit $status
fi

for f in $programs; do
	[ -f "$here/usr/bin/$f" ] || die "$here/usr/bin/$f missing"
done
[ -f "$here/etc/init.d/gustlink" ] || die "$here/etc/init.d/gustlink missing"
ours=$(elf_id "$here/usr/bin/gustlink") || die "$here/usr/bin/gustlink is no program"
for sys in "$root/bin/busybox" "$root/bin/sh" ""; do
	[ -z "$sys" ] || [ -e "$sys" ] && break
done
if [ -n "$sys" ]; then
	theirs=$(elf_id "$sys") || die "cannot tell the router's CPU: $sys is no program"
	# shellcheck disable=SC2086 # each the words of an elf_id
	[ "$ours" = "$theirs" ] || die "these programs are for a $(cpu $ours) CPU," \
		"this router's ($sys) is $(cpu $theirs): nothing installed;" \
		"take the release for its CPU (README: Which release for which router)"
elif [ -n "$root" ]; then
	echo "left out (no $root/bin/busybox): the check of the CPU"
else
	die "cannot tell the router's CPU: no /bin/busybox or /bin/sh"
fi
mkdir -p "$root/usr/bin" "$root/etc/init.d" || exit 1
for p in $programs; do
	put "$here/usr/bin/$p" "$root/usr/bin/$p"
done
put "$here/etc/init.d/gustlink" "$root/etc/init.d/gustlink"
service gustlink enable
# restart, not start: a service that runs keeps its old program otherwise
service gustlink restart
edit_crontab add
service cron restart
echo "weather station installed: gustlink runs as a service, hubpoll every minute from cron"
exit $status
