#!/usr/bin/env bash
# Runs the fax queue's CUPS backend by hand, as cupsd runs it, against a temporary spool.
set -euo pipefail
backend=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PARVANE_SPOOL_DIR=$work/spool
export DEVICE_URI=parvane:/
me=$(id -un)
fails=0
check() { if ! eval "$2"; then echo "FAILED: $1"; fails=$((fails + 1)); fi; }
run() { set +e; "$backend" "$@" 2>"$work/err"; rc=$?; set -e; }

printf '%%PDF-1.4\n%% a tiny job\n%%%%EOF' >"$work/job.pdf"

# Device discovery: one line, class, URI, make and model, description.
line=$("$backend")
check "device line" '[[ $line == "file parvane:/ \"Parvane fax\" \"Fax (Parvane)\""* ]]'

# The job on stdin, a title needing every kind of cleaning.
run 12 "$me" $'../../etc/passwd x\ny' 1 "" <"$work/job.pdf"
check "stdin job accepted" '[ $rc -eq 0 ]'
out=$PARVANE_SPOOL_DIR/$me/12-.._.._etc_passwd_x_y.pdf
check "stdin job spooled under a flat name" '[ -f "$out" ] && cmp -s "$out" "$work/job.pdf"'
check "file mode 0600" '[ "$(stat -c %a "$out")" = 600 ]'
check "inbox mode 0700" '[ "$(stat -c %a "$PARVANE_SPOOL_DIR/$me")" = 700 ]'
check "nothing outside the inbox" '[ -z "$(find "$PARVANE_SPOOL_DIR" -name "*.pdf" ! -path "$PARVANE_SPOOL_DIR/$me/*")" ]'
check "staging left empty" '[ -z "$(ls -A "$PARVANE_SPOOL_DIR/.incoming")" ]'

# The job as the sixth argument; a long title is cut.
run 13 "$me" "$(printf 'T%.0s' $(seq 1 200))" 1 "" "$work/job.pdf"
check "file job accepted" '[ $rc -eq 0 ]'
check "long title cut to 60" '[ -f "$PARVANE_SPOOL_DIR/$me/13-$(printf "T%.0s" $(seq 1 60)).pdf" ]'
run 14 "$me" "" 1 "" "$work/job.pdf"
check "empty title named job" '[ $rc -eq 0 ] && [ -f "$PARVANE_SPOOL_DIR/$me/14-job.pdf" ]'

# A PDF wrapped in printer job language arrives bare.
{ printf '\033%%-12345X@PJL JOB\n@PJL ENTER LANGUAGE = PDF\n'; cat "$work/job.pdf"
  printf '\033%%-12345X@PJL EOJ \n\033%%-12345X'; } >"$work/pjl"
run 23 "$me" t 1 "" "$work/pjl"
check "PJL stripped" '[ $rc -eq 0 ] && cmp -s "$work/job.pdf" "$PARVANE_SPOOL_DIR/$me/23-t.pdf"'

# Hostile or broken jobs are cancelled (5), never written anywhere.
before=$(find "$PARVANE_SPOOL_DIR" | sort)
for bad in "../x" "." ".." "-rf" "a/b" "" "no_such_user_here_42" "$(printf 'x%.0s' $(seq 1 40))"; do
  run 15 "$bad" t 1 "" "$work/job.pdf"
  check "user '$bad' refused" '[ $rc -eq 5 ] && grep -q "^ERROR:" "$work/err"'
done
run "15;x" "$me" t 1 "" "$work/job.pdf"
check "bad job id refused" '[ $rc -eq 5 ]'
echo "not a pdf" >"$work/text"
run 16 "$me" t 1 "" "$work/text"
check "non-PDF refused" '[ $rc -eq 5 ]'
printf '%%PDF-1.4 cut short' >"$work/cut"
run 16 "$me" t 1 "" "$work/cut"
check "PDF without an end refused" '[ $rc -eq 5 ]'
run 17 "$me" t 1 "" </dev/null
check "empty job refused" '[ $rc -eq 5 ]'
check "refused jobs left nothing" '[ "$(find "$PARVANE_SPOOL_DIR" | sort)" = "$before" ]'
run 18 "$me" t
check "wrong argument count fails" '[ $rc -eq 1 ]'

# A link planted in place of the job's name is replaced, not followed.
echo keep >"$work/victim"
ln -s "$work/victim" "$PARVANE_SPOOL_DIR/$me/19-t.pdf"
run 19 "$me" t 1 "" "$work/job.pdf"
check "planted link replaced" '[ $rc -eq 0 ] && [ ! -L "$PARVANE_SPOOL_DIR/$me/19-t.pdf" ] && [ "$(cat "$work/victim")" = keep ]'

# An inbox that is a link is refused.
other=$work/spool2
mkdir -p "$other"
ln -s "$work/elsewhere" "$other/$me"
mkdir "$work/elsewhere"
PARVANE_SPOOL_DIR=$other run 20 "$me" t 1 "" "$work/job.pdf"
check "linked inbox refused" '[ $rc -eq 5 ] && [ -z "$(ls -A "$work/elsewhere")" ]'

# As root: the inbox and the job belong to the job's user.
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  run 21 nobody t 1 "" "$work/job.pdf"
  check "job for another user" '[ $rc -eq 0 ] && [ "$(stat -c %U "$PARVANE_SPOOL_DIR/nobody/21-t.pdf")" = nobody ] && [ "$(stat -c %U "$PARVANE_SPOOL_DIR/nobody")" = nobody ]'
  # An inbox some other account owns is not written into.
  mkdir -m 0700 "$PARVANE_SPOOL_DIR/daemon" 2>/dev/null || true
  if id daemon >/dev/null 2>&1; then
    run 22 daemon t 1 "" "$work/job.pdf"
    check "inbox of the wrong owner refused" '[ $rc -eq 5 ] && [ -z "$(ls -A "$PARVANE_SPOOL_DIR/daemon")" ]'
  fi
fi

[ $fails -eq 0 ] || { echo "$fails backend checks failed"; exit 1; }
echo "backend checks passed"
