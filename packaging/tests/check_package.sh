#!/usr/bin/env bash
# Builds the Debian package and checks it as a desktop would see it: every file where it
# belongs, the desktop entry and AppStream metadata valid, the man pages rendering, and the
# programs starting from the unpacked tree. Nothing is installed on this machine.
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in cpack dpkg-deb desktop-file-validate appstreamcli man; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/setup installs it)"; exit 1; }
done

(cd "$build_dir" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KB)"

dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Depends|Section):'
contents=$(dpkg-deb --contents "$deb")
for f in ./usr/bin/parvane ./usr/bin/parvane-cli ./usr/bin/parvane-vline \
         ./usr/share/applications/io.parvane.Parvane.desktop \
         ./usr/share/icons/hicolor/scalable/apps/io.parvane.Parvane.svg \
         ./usr/share/metainfo/io.parvane.Parvane.metainfo.xml \
         ./usr/share/man/man1/parvane.1 ./usr/share/man/man1/parvane-cli.1 ./usr/share/man/man1/parvane-vline.1; do
  grep -q " $f\$" <<<"$contents" || { echo "not in the package: $f"; exit 1; }
done
# The fax queue's backend: where cupsd looks, and 0700 root so cupsd runs it as root.
grep -qE '^-rwx------ root/root .* \./usr/lib/cups/backend/parvane$' <<<"$contents" \
  || { echo "the CUPS backend is missing or not -rwx------ root/root:"; grep backend <<<"$contents"; exit 1; }
for f in ./usr/lib/systemd/user/parvane-print-inbox.path ./usr/lib/systemd/user/parvane-print-inbox.service; do
  grep -q " $f\$" <<<"$contents" || { echo "not in the package: $f"; exit 1; }
done
control=$work/control
dpkg-deb -e "$deb" "$control"
for script in postinst prerm postrm; do
  [ -x "$control/$script" ] || { echo "no executable $script in the package"; exit 1; }
  sh -n "$control/$script"
done
grep -q 'lpadmin -p "$queue" -E -v parvane:/' "$control/postinst" || { echo "postinst does not add the queue"; exit 1; }
dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6' || { echo "Depends lacks the Qt libraries"; exit 1; }

root=$work/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/io.parvane.Parvane.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.parvane.Parvane.metainfo.xml"
for page in parvane parvane-cli parvane-vline; do
  text=$(MANWIDTH=80 man -l "$root/usr/share/man/man1/$page.1" 2>&1)
  grep -q "^NAME" <<<"$text" || { echo "man page $page does not render"; exit 1; }
done

# The unpacked programs run: the command line answers with its usage, the line prints
# its help, and the program starts on its own virtual line next to it and exits.
set +e
"$root/usr/bin/parvane-cli" >/dev/null 2>&1; [ $? -eq 2 ] || { echo "parvane-cli without a command should exit 2"; exit 1; }
set -e
grep -q "virtual fax line" <<<"$("$root/usr/bin/parvane-vline" --help)"
HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_STATE_HOME=$work/home/state \
  timeout 120 "$root/usr/bin/parvane" --data-dir "$work/data" --smoke
test -f "$work/data/PVN.INI" || { echo "the installed program wrote no settings"; exit 1; }
echo "package checks passed"
