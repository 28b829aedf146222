#!/usr/bin/env bash
# A real cupsd of our own (its own configuration, socket and spool; the system's CUPS is
# not touched) with the fax queue on the backend from the source tree: a PDF printed with
# `lp` arrives in the job user's spool inbox, whole.
set -euo pipefail
backend=$1
ppd=/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd
PATH=$PATH:/usr/sbin

for tool in cupsd lpadmin lp lpstat gs pdfinfo; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/setup installs it)"; exit 1; }
done
[ -f "$ppd" ] || { echo "missing $ppd (cups-filters)"; exit 1; }
# cupsd runs a 0700 backend as root only when it runs as root itself.
[ "$(id -u)" -eq 0 ] || { echo "cupsd must run as root here to run the backend as root"; exit 1; }

work=$(mktemp -d)
chmod 0755 "$work" # filters run as lp and go through here
cupsd_pid=
cleanup() {
  [ -n "$cupsd_pid" ] && kill "$cupsd_pid" 2>/dev/null && wait "$cupsd_pid" 2>/dev/null
  [ -n "${KEEP_CUPS_TEST:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work"/{etc/ppd,spool,cache,state,log,out,tmp,bin/backend}
chmod 1777 "$work/tmp"
for d in filter daemon cgi-bin notifier monitor driver; do
  [ -e /usr/lib/cups/$d ] && ln -s /usr/lib/cups/$d "$work/bin/$d"
done
install -m 0700 "$backend" "$work/bin/backend/parvane"
chmod 0755 "$work/bin" "$work/bin/backend"

cat >"$work/etc/cups-files.conf" <<CONF
ServerRoot $work/etc
ServerBin $work/bin
RequestRoot $work/spool
CacheDir $work/cache
StateDir $work/state
TempDir $work/tmp
ErrorLog $work/log/error_log
AccessLog $work/log/access_log
PageLog $work/log/page_log
SystemGroup root
FileDevice No
Sandboxing Relaxed
SetEnv PARVANE_SPOOL_DIR $work/out
CONF
cat >"$work/etc/cupsd.conf" <<CONF
Listen $work/cups.sock
LogLevel debug
WebInterface No
Browsing No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

cupsd -f -c "$work/etc/cupsd.conf" -s "$work/etc/cups-files.conf" &
cupsd_pid=$!
export CUPS_SERVER=$work/cups.sock
for _ in $(seq 1 100); do
  lpstat -r 2>/dev/null | grep -q "is running" && break
  sleep 0.1
done
lpstat -r | grep -q "is running" || { echo "cupsd did not start"; cat "$work/log/error_log" 2>/dev/null; exit 1; }

lpadmin -p Parvane-Fax -E -v parvane:/ -P "$ppd" -D "Fax (Parvane)" 2>/dev/null
lpstat -v Parvane-Fax | grep -q "parvane:/" || { echo "the queue was not added"; exit 1; }

# Two pages; the title has a slash the file name must not keep.
gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile="$work/job.pdf" \
   -c "/Helvetica findfont 30 scalefont setfont 72 700 moveto (Page one) show showpage" \
   -c "72 700 moveto (Page two) show showpage"
lp -d Parvane-Fax -t "Quarterly/report" "$work/job.pdf" >/dev/null

me=$(id -un)
for _ in $(seq 1 ${WAIT_TENTHS:-600}); do
  compgen -G "$work/out/$me/*.pdf" >/dev/null && break
  sleep 0.1
done
out=$(compgen -G "$work/out/$me/*.pdf" | head -1 || true)
if [ -z "$out" ]; then
  echo "no job arrived in $work/out/$me"; grep -E "parvane|ERROR|Backend" "$work/log/error_log" | tail -20
  exit 1
fi
name=$(basename "$out")
[[ $name =~ ^[0-9]+-Quarterly_report\.pdf$ ]] || { echo "unexpected job name: $name"; exit 1; }
pages=$(pdfinfo "$out" | sed -n 's/^Pages:[[:space:]]*//p')
[ "$pages" = 2 ] || { echo "the job has $pages pages, not 2"; exit 1; }
[ "$(stat -c %a "$out")" = 600 ] || { echo "the job is not mode 0600"; exit 1; }
echo "queue checks passed: $name, $pages pages"
