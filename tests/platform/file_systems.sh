#!/usr/bin/env bash
# On a file system made and mounted here, as root ($3: tmpfs, xfs, btrfs, fat32 through fusefat, exfat through
# exfat-fuse on a loop device, ntfs through ntfs-3g, read-only squashfs; vfat-eperm: tmpfs, with fchown and fchmod
# answering EPERM as the kernel's vfat and exfat drivers do), a plain ISO, a raw image, a cue sheet with its bin and a
# CHD are patched and read back: each must say and hold what it does on the local disk, every CHD pass chdman verify,
# and nothing be left beside them. A file system the kernel will not mount is a skip. $1, $2: the two commands.
set -euo pipefail
bin=$(realpath "$1") && bin_extract=$(realpath "$2") && fs=$3 run=()
[[ $(id -u) = 0 ]] || { echo "SKIP: mounting needs root"; exit 77; }
for p in genisoimage vcdimager ffmpeg chdman strace mkfs.xfs mkfs.btrfs mkfs.vfat fusefat mkfs.exfat mount.exfat-fuse \
    ntfs-3g mksquashfs; do command -v $p > /dev/null || { echo "SKIP: no $p"; exit 77; }; done
work=$(mktemp -d) && cd "$work" && mkdir cases m
trap 'cd / && { umount "$work/m" || umount -l "$work/m"; } 2> /dev/null; [[ -z ${loop:-} ]] || losetup -d "$loop"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $fs: $*"; exit 1; }

head -c 32768 /dev/urandom > ip.bin && mkdir tree && seq 1 30000 > tree/n && genisoimage -quiet -V FS -o cases/plain.iso tree
ffmpeg -loglevel error -f lavfi -i testsrc=s=352x240:r=30000/1001 -t 1 -target ntsc-vcd -an video.mpg
(cd cases && vcdimager -q -l FS ../video.mpg -c vcd.cue -b vcd.bin && cp vcd.bin raw.bin && chdman createcd -i vcd.cue -o vol.chd) > /dev/null 2>&1
# What each case says, patched (through ${run[@]}, where set) and then read back, in the folder given; then every file
# there, with its sum.
patch_all() {
    (cd "$1" && for image in plain.iso raw.bin vcd.cue vol.chd; do
        s=0 && out=$("${run[@]}" "$bin" "$image" ../ip.bin 2>&1) || s=$? && echo "$image: $s $out"
        echo "$image: $("$bin_extract" "$image" - 2> /dev/null | cksum)"
    done && shopt -s dotglob && cksum -- *)
}
cp -a cases was && expected=$(patch_all cases)
[[ $(grep -c ": $(cksum < ip.bin)" <<< "$expected") = 4 ]] || fail "not patched on the local disk: $expected"
if [[ $fs = squashfs ]]; then  # refused whole, as where the user may not write, and read back as it was
    chmod 755 . && cp -a was ro && chmod a-w ro/* && run=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    expected=$(patch_all ro) && run=()
fi

case $fs in
    tmpfs | vfat-eperm) mount -t tmpfs tmpfs m ;;
    xfs | btrfs) truncate -s 320M fs.img && mkfs."$fs" -q fs.img && mount -o loop fs.img m ;;
    fat32) truncate -s 64M fs.img && mkfs.vfat -F 32 fs.img && fusefat -o rw+ fs.img m ;;
    exfat) truncate -s 64M fs.img && mkfs.exfat fs.img && loop=$(losetup -f --show fs.img) && mount.exfat-fuse "$loop" m ;;
    ntfs) truncate -s 64M fs.img && mkfs.ntfs -F -Q fs.img && ntfs-3g fs.img m ;;
    squashfs) mksquashfs was fs.img -quiet && mount -o loop,ro fs.img m ;;
    *) fail "no such file system" ;;
esac > /dev/null 2>&1 || { echo "SKIP: $fs: the kernel refused to mount it"; exit 77; }
[[ $fs = squashfs ]] || cp -r was/. m/
# LeakSanitizer cannot run under ptrace: the sanitizers' build checks for leaks everywhere else.
trace=(env "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" strace -f -qq -o /dev/null -e)
[[ $fs != vfat-eperm ]] || run=("${trace[@]}" "inject=fchown,fchmod:error=EPERM")
got=$(patch_all m)
[[ $got = "$expected" ]] || fail "$(diff <(echo "$expected") <(echo "$got"))"
[[ $fs = squashfs ]] || chdman verify -i m/vol.chd > /dev/null 2>&1 || fail "vol.chd: chdman verify fails"
if [[ $fs = vfat-eperm ]]; then  # a failure that is no file system's limit stays one: the CHD as it was, nothing beside it
    cp was/vol.chd m/ && listing=$(ls -A m)
    out=$(cd m && "${trace[@]}" inject=fchmod:error=EIO "$bin" vol.chd ../ip.bin) && fail "fchmod's EIO: patched"
    { [[ $out = *"can't write image(vol.chd)" && $(ls -A m) = "$listing" ]] && cmp -s m/vol.chd was/vol.chd; } ||
        fail "fchmod's EIO: printed '$out', changed the CHD or left a file"
fi
