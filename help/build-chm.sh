#!/usr/bin/env bash
# Builds orbenix.chm from the HTML sources in this folder with chmcmd.
# usage: build-chm.sh SOURCE_DIR WORK_DIR OUTPUT_CHM
#
# chmcmd 3.2.2 (Debian 12) writes each context id's topic as the project
# folder's absolute path followed by the file name, while it stores the
# topics themselves under "/": F1 would then open "page not found". With the
# project in the file system's root the two agree, so chmcmd runs in a root
# of its own: a private folder holding the sources, chmcmd and the few
# libraries it loads (chroot as root, an unprivileged user namespace
# otherwise). check-chm.py then proves every context id reaches its topic.
set -euo pipefail
source_dir=${1:?usage: build-chm.sh SOURCE_DIR WORK_DIR OUTPUT_CHM}
work=${2:?work dir}
output=${3:?output chm}

rm -rf "$work"
mkdir -p "$work"
cp "$source_dir"/orbenix.hhp "$source_dir"/*.htm "$source_dir"/*.hhc "$source_dir"/*.css "$work"/

chmcmd=$(readlink -f "$(command -v chmcmd)")
cp "$chmcmd" "$work/chmcmd"
# Its shared libraries, and the thread library it loads at run time.
libc=$(ldd "$chmcmd" | sed -n 's/.*libc\.so\.6 => \([^ ]*\).*/\1/p')
libs=$(ldd "$chmcmd" | grep -o '/[^ ]*')
for extra in libpthread.so.0 libdl.so.2; do
  [ -e "$(dirname "$libc")/$extra" ] && libs="$libs $(dirname "$libc")/$extra"
done
for lib in $libs; do
  mkdir -p "$work$(dirname "$lib")"
  cp -L "$lib" "$work$lib"
done

run_in_root() {
  if [ "$(id -u)" -eq 0 ] && (cd "$work" && chroot . /chmcmd "$@"); then return 0; fi
  unshare --map-root-user --root="$work" --wd=/ /chmcmd "$@"
}
run_in_root --no-html-scan /orbenix.hhp ||
  { echo "build-chm.sh: chmcmd could not run in $work (needs root or user namespaces)" >&2; exit 1; }
python3 "$source_dir/check-chm.py" "$work/orbenix.chm" "$source_dir/orbenix.hhp"
cp "$work/orbenix.chm" "$output"
