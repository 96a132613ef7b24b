#!/usr/bin/python3
"""What programs nobody here wrote make of our vCards.

Usage: address_check.py FOLDER

Every FOLDER/<name>.vcf with a FOLDER/<name>.expect beside it is read with
python's vobject, and each "key<TAB>value" line of the .expect file must be
what vobject finds there (an empty value: the property is absent or empty;
values escape backslash, line feed and tab as \\\\, \\n, \\t).  Then khard
lists the folder as an address book: each "fn" must be a contact there, with
each "tel:..." number.  Exit status 1 on the first file with differences.
"""
import os
import subprocess
import sys
import tempfile

import vobject

ADR_PARTS = {"street", "city", "region", "code", "country"}


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"n": "\n", "t": "\t", "r": "\r"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def as_text(value):
    return ",".join(value) if isinstance(value, list) else value


def typed(card, name, types):
    """The lines of name whose TYPE values are exactly types."""
    want = {t.upper() for t in types.split(",")}
    return [line for line in card.contents.get(name, [])
            if {t.upper() for t in line.params.get("TYPE", [])} == want]


def found(card, key):
    """Every value vobject gives for key."""
    if key == "fn":
        return [line.value for line in card.contents.get("fn", [])]
    if key.startswith("n."):
        return [as_text(getattr(line.value, key[2:])) for line in card.contents.get("n", [])]
    if key.startswith("org."):
        index = int(key[4:])
        return [line.value[index] if len(line.value) > index else "" for line in card.contents.get("org", [])]
    if key.startswith("categories."):
        return [line.value[int(key[11:])] for line in card.contents.get("categories", [])]
    if ":" in key:
        name, rest = key.split(":", 1)
        types, _, part = rest.partition(".")
        lines = typed(card, name, types)
        if part in ADR_PARTS:
            return [as_text(getattr(line.value, part)) for line in lines]
        return [line.value for line in lines]
    return [line.value for line in card.contents.get(key, [])]


def check_file(path, pairs):
    """Differences between what vobject reads in path and pairs; whether it has a UID."""
    with open(path, encoding="utf-8", newline="") as f:
        card = vobject.readOne(f.read())
    problems = []
    for key, value in pairs:
        values = found(card, key)
        if not (value in values if value else all(v == "" for v in values)):
            problems.append("%s: %s is %r, expected %r" % (os.path.basename(path), key, values, value))
    return problems, "uid" in card.contents


def expectations(folder):
    """Per .vcf file, its expected values as (key, value) pairs."""
    result = {}
    for name in sorted(os.listdir(folder)):
        if name.endswith(".expect"):
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                result[name[:-7] + ".vcf"] = [
                    (k, unescape(v)) for k, _, v in (line.partition("\t") for line in f.read().split("\n") if line)]
    return result


def check_khard(folder, expected):
    """khard lists every contact with an "fn" and each of its numbers
    (khard leaves out a vCard without UID, as it says)."""
    with tempfile.TemporaryDirectory() as home:
        config = os.path.join(home, "khard.conf")
        with open(config, "w") as f:
            f.write("[addressbooks]\n[[morvane]]\npath = %s\n[general]\neditor = true\nmerge_editor = true\n"
                    "[contact table]\ndisplay = formatted_name\nshow_uids = yes\n[vcard]\nskip_unparsable = no\n" % folder)
        env = dict(os.environ, HOME=home)
        names = subprocess.run(["khard", "-c", config, "list", "--parsable"], env=env, check=True,
                               capture_output=True, text=True).stdout
        phones = subprocess.run(["khard", "-c", config, "phone", "--parsable"], env=env, check=True,
                                capture_output=True, text=True).stdout
    listed = {line.split("\t")[1] for line in names.splitlines() if "\t" in line}
    numbers = {tuple(line.split("\t")[:2]) for line in phones.splitlines() if "\t" in line}
    problems, count = [], 0
    for file, pairs in expected.items():
        fn = dict(pairs).get("fn")
        if not fn:
            continue
        count += 1
        if fn not in listed:
            problems.append("khard does not list %r (%s); it lists %r" % (fn, file, sorted(listed)))
        for key, value in pairs:
            if key.startswith("tel:") and value and (value, fn) not in numbers:
                problems.append("khard does not give %s's number %r" % (fn, value))
    return problems, count


def main():
    folder = sys.argv[1]
    expected = expectations(folder)
    problems, with_uid = [], {}
    for file, pairs in expected.items():
        file_problems, has_uid = check_file(os.path.join(folder, file), pairs)
        problems += file_problems
        if has_uid:
            with_uid[file] = pairs
    khard_problems, contacts = check_khard(folder, with_uid)
    problems += khard_problems
    for problem in problems:
        print(problem)
    print("vobject read %d vCards (%d values), khard listed %d contacts, %d differences"
          % (len(expected), sum(len(p) for p in expected.values()), contacts, len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
