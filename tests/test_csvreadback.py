#!/usr/bin/env python3
"""Exports archives with silvaro-csvexport and reads the files back with Python's csv module,
comparing every field with the archive as Python's sqlite3 module reads it."""
import csv
import datetime
import decimal
import io
import os
import re
import sqlite3
import subprocess
import sys
import tempfile

EXPORT, SCHEMA = sys.argv[1], sys.argv[2]
DATE_FIELDS = {"dataacquisto", "datatratt"}
FORMULA = re.compile(r"'*[=+\-@\t\r]")
failures = []


def expected_text(value, date_field):
    """A stored value as a spreadsheet should receive it."""
    text = stored_text(value, date_field)
    return "'" + text if isinstance(value, str) and FORMULA.match(text) else text


def imported(cell):  # the import takes the first apostrophe away from a guarded text
    return cell[1:] if cell.startswith("'") and FORMULA.match(cell) else cell


def stored_text(value, date_field):
    if value is None:
        return ""
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        if value == 0:
            return "0"
        s = format(decimal.Decimal(repr(value)), "f")
        if "." in s:
            s = s.rstrip("0").rstrip(".")
        return s.replace(".", ",")
    midnight = value[10:] in (" 00:00:00", "T00:00:00", " 00:00:00.000", "T00:00:00.000")
    if date_field and (len(value) == 10 or midnight) and value[4:5] == value[7:8] == "-":
        try:
            d = datetime.date.fromisoformat(value[:10])
        except ValueError:
            return value
        return "" if d == datetime.date(1900, 1, 1) else d.strftime("%d/%m/%Y")
    return value


def expected_tables(archive):
    db = sqlite3.connect(archive)
    db.text_factory = str
    result = {}
    cur = db.execute("SELECT * FROM piante ORDER BY rowid")
    names = [c[0] for c in cur.description]
    plants = cur.fetchall()
    result["piante.csv"] = [names] + [
        [expected_text(v, n in DATE_FIELDS) for n, v in zip(names, row)] for row in plants]
    by_key = {}
    for row in plants:
        by_key.setdefault(row[names.index("id")], row)
    cur = db.execute("SELECT * FROM coltivazione ORDER BY rowid")
    enames = [c[0] for c in cur.description]
    at = enames.index("id") + 1
    rows = [enames[:at] + ["specie", "identificazione"] + enames[at:]]
    for row in cur.fetchall():
        out = [expected_text(v, n in DATE_FIELDS) for n, v in zip(enames, row)]
        plant = by_key.get(row[enames.index("id")])
        extra = ["", ""] if plant is None else [
            expected_text(plant[names.index("specie")], False),
            expected_text(plant[names.index("identificazione")], False)]
        rows.append(out[:at] + extra + out[at:])
    result["trattamenti.csv"] = rows
    if db.execute("SELECT 1 FROM sqlite_master WHERE name = 'promemoria'").fetchone():
        cur = db.execute("SELECT * FROM promemoria ORDER BY rowid")
        result["promemoria.csv"] = [[c[0] for c in cur.description]] + [
            [expected_text(v, False) for v in row] for row in cur.fetchall()]
    else:  # an archive of the first layout: the field names alone
        result["promemoria.csv"] = [["id", "intervento", "giorni"]]
    db.close()
    return result


def check(label, archive, folder):
    run = subprocess.run([EXPORT, archive, folder], capture_output=True, text=True)
    if run.returncode != 0:
        failures.append(f"{label}: export failed: {run.stderr}")
        return
    for name, rows in expected_tables(archive).items():
        raw = open(os.path.join(folder, name), "rb").read()
        if not raw.startswith(b"\xef\xbb\xbf"):
            failures.append(f"{label}/{name}: no byte-order mark")
        with open(os.path.join(folder, name), encoding="utf-8-sig", newline="") as f:
            read = list(csv.reader(f, delimiter=";"))
        if read != rows:
            for i, (got, want) in enumerate(zip(read, rows)):
                if got != want:
                    failures.append(f"{label}/{name} row {i}: {got!r} != {want!r}")
                    break
            else:
                failures.append(f"{label}/{name}: {len(read)} rows, expected {len(rows)}")
        # What a spreadsheet would run: a cell that begins so and is no number.
        failures.extend(f"{label}/{name}: formula {c!r}" for r in read for c in r if c[:1] and
                        c[0] in "=+-@\t\r" and not re.fullmatch(r"-?\d+(,\d+)?", c))
        # Byte for byte as a minimal-quoting writer with CR LF writes it: quotes only where
        # needed, and every row ends with CR LF.
        buf = io.StringIO(newline="")
        csv.writer(buf, delimiter=";", lineterminator="\r\n",
                   quoting=csv.QUOTE_MINIMAL).writerows(rows)
        if raw[3:] != buf.getvalue().encode("utf-8"):
            failures.append(f"{label}/{name}: bytes differ from a minimal-quoting CR LF file")
    counts = run.stdout.split()
    want = [str(len(expected_tables(archive)[n]) - 1) for n in ("piante.csv", "trattamenti.csv")]
    if counts != want:
        failures.append(f"{label}: told {counts}, expected {want}")


def make_archive(path):
    db = sqlite3.connect(path)
    db.executescript(open(SCHEMA, encoding="utf-8").read())
    return db


with tempfile.TemporaryDirectory() as tmp:
    empty = os.path.join(tmp, "empty.mdb")
    make_archive(empty).close()
    os.mkdir(os.path.join(tmp, "out-empty"))
    check("empty archive", empty, os.path.join(tmp, "out-empty"))

    first = os.path.join(tmp, "first.mdb")  # the first layout, without promemoria
    db = make_archive(first)
    db.executescript("DROP TABLE promemoria; PRAGMA user_version = 0;")
    db.close()
    os.mkdir(os.path.join(tmp, "out-first"))
    check("first layout", first, os.path.join(tmp, "out-first"))

    filled = os.path.join(tmp, "dbpiante.mdb")
    db = make_archive(filled)
    texts = ['virgolette "doppie"', "punto;e virgola", "riga uno\nriga due", "a capo\r\nWindows",
             "Ciclamino è più bello, però", " ", "", "🌵 cactus", '"', ";", "tab\tdentro",
             "  spazi ai lati  ", "\r", "€ 12,50", "=1+1", '=HYPERLINK("http://x";"clic")',
             "+39 333 1234567", "-5,5", "@SOMMA(A1)", "\tinizio", "'=già protetta", "'solo"]
    # Read by the import, which takes the apostrophe away again, every text comes back.
    failures += [f"round trip of {t!r}" for t in texts if imported(expected_text(t, False)) != t]
    dates = ["2024-03-05", "1900-01-01", None, "31/12/1999", "2000-02-29", "ieri",
             "2023-07-01 00:00:00", "1900-01-01T00:00:00.000", "2023-07-01 10:30:00",
             "2023-02-30", "20240305"]
    numbers = [12.5, 0, 3.0, -0.25, 1e20, 0.1, None, 18, "non un numero", 1 / 3]
    for i in range(60):
        t = lambda k: texts[(i + k) % len(texts)]
        db.execute(
            "INSERT INTO piante (id, famiglia, genere, specie, identificazione, habitat, temperatura, "
            "temperaturaid, r3, r4, r1, r2, umdita, fioritura, descrizione, dataacquisto, prezzo, "
            "vaso, eta, note, img) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
            (712202636000 + i, t(0), t(1), t(2), None if i % 7 == 0 else t(3), t(4),
             numbers[i % len(numbers)], numbers[(i + 3) % len(numbers)], t(5), t(6), t(7),
             t(8), numbers[(i + 5) % len(numbers)], t(9), t(10), dates[i % len(dates)],
             numbers[(i + 1) % len(numbers)], t(11), numbers[(i + 2) % len(numbers)], t(12),
             "nd.jpg" if i % 2 else None))
    for i in range(200):
        plant = 712202636000 + i % 61 if i % 13 else 1  # 1: no such plant
        db.execute("INSERT INTO coltivazione (idtrat, id, intervento, datatratt, temperatura, umidita, "
            "descrizione) VALUES (?,?,?,?,?,?,?)",
                   (1000 + i, plant, texts[i % len(texts)], dates[(i + 1) % len(dates)],
                    numbers[i % len(numbers)], numbers[(i + 4) % len(numbers)],
                    texts[(i + 2) % len(texts)]))
    for i in range(5):
        db.execute("INSERT INTO promemoria VALUES (?,?,?)", (712202636000 + i, texts[i], i * 3))
    db.commit()
    db.close()
    out = os.path.join(tmp, "out")
    os.mkdir(out)
    check("filled archive", filled, out)

for f in failures:
    print("FAIL:", f)
print(f"{'FAILED' if failures else 'PASSED'}: csv read back ({len(failures)} failures)")
sys.exit(1 if failures else 0)
