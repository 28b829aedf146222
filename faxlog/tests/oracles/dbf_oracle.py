"""Reads or writes DBF tables with the Debian DBF libraries, for the engine's tests.

  dbf_oracle.py dump-dbfread TABLE   fields and records as dbfread reads them
  dbf_oracle.py dump-dbf TABLE       the same through the dbf package
  dbf_oracle.py write-dbf TABLE      writes a FoxPro table with a memo field
  dbf_oracle.py append-dbf TABLE N   appends N records to the sent table (benchmark peer)
  dbf_oracle.py scan-dbf TABLE       reads every record (benchmark peer)

Dump format, one item a line:  F name type length decimals  /  R deleted value|value...
Values: text with trailing blanks removed, dates YYYY-MM-DD, logicals T/F/?, numbers as
given (integers without ".0"), memos as text.
"""
import datetime
import sys


def norm(v):
    if v is None:
        return "?"
    if isinstance(v, bool):
        return "T" if v else "F"
    if isinstance(v, (datetime.date,)):
        return v.isoformat()
    if isinstance(v, float) and v.is_integer():
        return str(int(v))
    if isinstance(v, bytes):
        v = v.decode("cp1252")
    return str(v).rstrip()


def dump_dbfread(path):
    import dbfread
    t = dbfread.DBF(path, encoding="cp1252", load=True)
    for f in t.fields:
        print("F", f.name, f.type, f.length, f.decimal_count)
    types = [f.type for f in t.fields]
    for deleted, recs in ((0, t.records), (1, t.deleted)):
        for r in recs:
            # Blank dates and memos read as None; only a logical's None is "unknown".
            print("R", deleted, "|".join("" if v is None and ty != "L" else norm(v)
                                         for v, ty in zip(r.values(), types)))


def dump_dbf(path):
    import dbf
    t = dbf.Table(path)
    t.open(dbf.READ_ONLY)
    for name in t.field_names:
        info = t.field_info(name)
        print("F", name.upper(), chr(info.field_type), info.length, info.decimal)
    rows = [[], []]
    for r in t:
        vals = []
        for name in t.field_names:
            v = r[name]
            if v is None or (hasattr(dbf, "Date") and isinstance(v, dbf.Date) and not v):
                vals.append("" if t.field_info(name).field_type == ord("D") else "?")
                continue
            if isinstance(v, dbf.Date):
                v = v._date if hasattr(v, "_date") else datetime.date(v.year, v.month, v.day)
            vals.append(norm(v))
        rows[1 if dbf.is_deleted(r) else 0].append("|".join(vals))
    for d in (0, 1):
        for line in rows[d]:
            print("R", d, line)
    t.close()


def write_dbf(path):
    import dbf
    t = dbf.Table(path, "NAME C(20); AGE N(3,0); PRICE N(8,2); BORN D; OK L; NOTE M",
                  dbf_type="fp", codepage="cp1252")
    t.open(dbf.READ_WRITE)
    t.append(("Ann Example", 41, 12.5, datetime.date(1984, 2, 29), True, "first memo\nline two"))
    t.append(("Bob", 7, 0.25, None, False, ""))
    t.append(("Caf\u00e9 Owner", 99, 1234.75, datetime.date(2001, 12, 31), True, "x" * 300))
    dbf.delete(t[1])
    t.close()


SENT_FIELDS = ("SUBJECT C(50); SENT L; DATESENT D; TIMESENT C(5); RECIPIENT C(35); "
               "PHONE C(25); PAGES N(2,0); LASTRESULT C(100); RTFCOVER M; RTFDOC M")


def append_dbf(path, n):
    import dbf
    t = dbf.Table(path, SENT_FIELDS, dbf_type="fp")
    t.open(dbf.READ_WRITE)
    base = datetime.date(2020, 1, 1)
    for i in range(n):
        t.append(("Subject %d" % i, i % 2 == 0, base + datetime.timedelta(days=i % 1500),
                  "%02d:%02d" % (i % 24, i % 60), "Recipient %d" % i, "555-%04d" % (i % 10000),
                  i % 99, "OK", "", ""))
    t.close()


def scan_dbf(path):
    import dbf
    t = dbf.Table(path)
    t.open(dbf.READ_ONLY)
    n = 0
    for r in t:
        if r["sent"]:
            n += 1
    t.close()
    print(n)


if __name__ == "__main__":
    cmd, path = sys.argv[1], sys.argv[2]
    if cmd == "dump-dbfread":
        dump_dbfread(path)
    elif cmd == "dump-dbf":
        dump_dbf(path)
    elif cmd == "write-dbf":
        write_dbf(path)
    elif cmd == "append-dbf":
        append_dbf(path, int(sys.argv[3]))
    elif cmd == "scan-dbf":
        scan_dbf(path)
    else:
        sys.exit("unknown command " + cmd)
