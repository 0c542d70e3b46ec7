#!/usr/bin/env python3
"""Writes the sample Kestrin installations 5.0, 5.0.1, 5.0.2 and 5.0.3 and,
given mkpatch, the three patch files between them.

    make_versions.py OUT [--mkpatch PATH] [--binaries DIR]

OUT/5.0/install   the install folder as the 5.0 installer left it
OUT/5.0/shared    the shared ("Vantor") folder: WMF.F32, preferences, labels
OUT/5.0/merged    the install folder after "Begin Update" copied the shared
                  folder into it: what the first patch starts from
OUT/5.0.1, OUT/5.0.2, OUT/5.0.3   the install folder after each patch
OUT/final/install, OUT/final/shared   both folders after a successful update
                  and its renames (the engine's logs not included)
OUT/patches/UpdV1-V1.RTP (5.0 -> 5.0.1), UpdV1-V2.RTP (5.0.1 -> 5.0.2),
                  UpdV2-V3.RTP (5.0.2 -> 5.0.3)

Real binaries (Wine's i386 programs and libraries) stand in for the suite's
executables; each version changes them the way a rebuild does: bytes
rewritten inside, blocks inserted and removed. Every change comes from fixed
seeds, so two runs write the same bytes.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys

WINE_BINARIES = "/usr/lib/i386-linux-gnu/wine/i386-windows"

# Stand-ins: name in the installation -> Wine file it starts from.
BINARIES = {
    "Kestrin.exe": "wordpad.exe",
    "KSDraw.dll": "cards.dll",
    "KSText.dll": "cabinet.dll",
    "KSSpell.dll": "credui.dll",
    "Kestrin 4 to 3 Converter.exe": "notepad.exe",
    "UnInsdll.dll": "olesvr32.dll",
    "KSChart.dll": "dnsapi.dll",  # new in 5.0.2
}

PREFERENCES = ["Assistants Cache", "ButtonBars", "Stationery", "Macros", "Preferences",
               "Assistant Prefs", "Assistant", "Palettes"]


def rng_bytes(rng, n):
    return bytes(rng.getrandbits(8) for _ in range(n))


def text_lines(rng, title, n):
    words = ["layout", "frame", "style", "table", "draw", "label", "merge", "chart",
             "column", "index", "spell", "macro", "print", "page", "field", "font"]
    lines = [title, ""]
    for i in range(n):
        lines.append(" ".join(rng.choice(words) for _ in range(rng.randint(4, 11))) + ".")
    return ("\r\n".join(lines) + "\r\n").encode("latin-1")


def rebuild(data, seed, edits=12, inserts=3, removals=2):
    """A new build of a binary: rewritten spans, inserted and removed blocks."""
    rng = random.Random(seed)
    b = bytearray(data)
    for _ in range(edits):
        at = rng.randrange(1024, len(b) - 256)
        n = rng.randint(4, 200)
        b[at:at + n] = rng_bytes(rng, n)
    for _ in range(inserts):
        at = rng.randrange(1024, len(b))
        b[at:at] = rng_bytes(rng, rng.randint(16, 3000))
    for _ in range(removals):
        at = rng.randrange(1024, len(b) - 4096)
        del b[at:at + rng.randint(16, 2000)]
    return bytes(b)


def write(root, rel, data):
    path = os.path.join(root, *rel.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def base_install(binaries, rng):
    files = {}
    for name, src in BINARIES.items():
        if name == "KSChart.dll":
            continue
        with open(os.path.join(binaries, src), "rb") as f:
            files[name] = f.read()
    files["Kestrin 4 to 3 Converter.ksd"] = text_lines(rng, "Kestrin 4 to 3 Converter", 40)
    files["ReadMe.ksd"] = text_lines(rng, "Kestrin 5.0 Read Me", 120)
    files["USENGLSH.DIC"] = rng_bytes(rng, 60000)
    files["USENGLSH.HYP"] = rng_bytes(rng, 18000)
    files["USENGLSH.THS"] = rng_bytes(rng, 25000)
    files["UnInst.isu"] = rng_bytes(rng, 9000)
    files["KSReg.dat"] = text_lines(rng, "[Registration]", 8)
    for folder, items in [("Kestrin Assistants", ["Letter.kas", "Newsletter.kas", "Invoice.kas"]),
                          ("Kestrin Libraries", ["Clip Art.kli", "Borders.kli"]),
                          ("Kestrin Stationery", ["Memo.kst", "Fax Cover.kst"]),
                          ("Kestrin Styles", ["Default.ksy", "Report.ksy"]),
                          ("Kestrin Translators", ["Rtf.ktr", "WordStar.ktr", "Html.ktr"])]:
        for item in items:
            files[folder + "\\" + item] = rng_bytes(rng, rng.randint(2000, 20000))
    files["Kestrin Stationery\\Old\\Letterhead 4.kst"] = rng_bytes(rng, 4000)
    return files


def base_shared(rng):
    files = {"WMF.F32": rng_bytes(rng, 40000)}
    for p in PREFERENCES:
        files["Kestrin 5 %s.prf" % p] = text_lines(rng, "[%s]" % p, 10)
    for label in ["Avery 5160.klb", "Avery 5161.klb", "Dymo.klb"]:
        files["Kestrin Labels\\" + label] = rng_bytes(rng, 3000)
    return files


def version_501(prev, rng, seed):
    files = dict(prev)
    files["Kestrin.exe"] = rebuild(prev["Kestrin.exe"], seed + 1)
    files["KSText.dll"] = rebuild(prev["KSText.dll"], seed + 2, edits=5)
    files["ReadMe.ksd"] = prev["ReadMe.ksd"].replace(b"Kestrin 5.0 Read Me", b"Kestrin 5.0.1 Read Me") \
        + text_lines(rng, "Changes in 5.0.1", 15)
    files["Kestrin Libraries\\Clip Art 2.kli"] = rng_bytes(rng, 15000)
    files["Kestrin Labels\\Avery 5161.klb"] = rng_bytes(rng, 3100)
    return files


def version_502(prev, rng, seed, binaries):
    files = dict(prev)
    files["Kestrin.exe"] = rebuild(prev["Kestrin.exe"], seed + 3)
    files["KSDraw.dll"] = rebuild(prev["KSDraw.dll"], seed + 4)
    with open(os.path.join(binaries, BINARIES["KSChart.dll"]), "rb") as f:
        files["KSChart.dll"] = f.read()
    del files["Kestrin Translators\\WordStar.ktr"]
    dic = bytearray(prev["USENGLSH.DIC"])
    dic[30000:30000] = rng_bytes(rng, 2500)
    files["USENGLSH.DIC"] = bytes(dic)
    files["ReadMe.ksd"] = prev["ReadMe.ksd"] + text_lines(rng, "Changes in 5.0.2", 10)
    return files


def version_503(prev, rng, seed):
    files = dict(prev)
    files["Kestrin.exe"] = rebuild(prev["Kestrin.exe"], seed + 5, edits=20)
    files["Kestrin 4 to 3 Converter.exe"] = rebuild(prev["Kestrin 4 to 3 Converter.exe"], seed + 6)
    files["KSChart.dll"] = rebuild(prev["KSChart.dll"], seed + 7, inserts=1, removals=1)
    del files["KSSpell.dll"]
    del files["Kestrin Stationery\\Old\\Letterhead 4.kst"]
    files["Kestrin Translators\\Legacy\\Write.ktr"] = rng_bytes(rng, 7000)
    files["ReadMe.ksd"] = prev["ReadMe.ksd"] + text_lines(rng, "Changes in 5.0.3", 10)
    return files


# Renames after a successful update (in the shared folder and in the final
# install folder) and the files the update deletes from the install folder.
def final_trees(v503, shared):
    fin_shared = {}
    for rel, data in shared.items():
        for p in PREFERENCES:
            if rel == "Kestrin 5 %s.prf" % p:
                rel = "Dovetra 5 %s.prf" % p
        rel = rel.replace("Kestrin Labels\\", "Dovetra Labels\\")
        fin_shared[rel] = data
    fin = {}
    gone = {"Kestrin 5 %s.prf" % p for p in PREFERENCES} | {"UnInst.isu", "UnInsdll.dll", "KSReg.dat"}
    for rel, data in v503.items():
        if rel in gone:
            continue
        if rel == "Kestrin.exe":
            rel = "Dovetra.exe"
        for word in ["Labels", "Assistants", "Libraries", "Stationery", "Styles", "Translators"]:
            if rel.startswith("Kestrin %s\\" % word):
                rel = "Dovetra %s\\" % word + rel[len("Kestrin %s\\" % word):]
        fin[rel] = data
    return fin, fin_shared


def write_tree(root, files, empty_folders=()):
    if os.path.exists(root):
        shutil.rmtree(root)
    os.makedirs(root)
    for rel in sorted(files):
        write(root, rel, files[rel])
    for rel in empty_folders:
        os.makedirs(os.path.join(root, *rel.split("\\")), exist_ok=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--mkpatch")
    ap.add_argument("--binaries", default=WINE_BINARIES)
    args = ap.parse_args()
    seed = 5003
    rng = random.Random(seed)
    install = base_install(args.binaries, rng)
    shared = base_shared(rng)
    merged = dict(install)
    merged.update(shared)
    v501 = version_501(merged, rng, seed)
    v502 = version_502(v501, rng, seed, args.binaries)
    v503 = version_503(v502, rng, seed)
    fin, fin_shared = final_trees(v503, shared)

    out = args.out
    write_tree(os.path.join(out, "5.0", "install"), install)
    write_tree(os.path.join(out, "5.0", "shared"), shared)
    write_tree(os.path.join(out, "5.0", "merged"), merged)
    write_tree(os.path.join(out, "5.0.1"), v501)
    write_tree(os.path.join(out, "5.0.2"), v502)
    write_tree(os.path.join(out, "5.0.3"), v503)
    write_tree(os.path.join(out, "final", "install"), fin)
    write_tree(os.path.join(out, "final", "shared"), fin_shared)
    if not args.mkpatch:
        return 0
    patches = os.path.join(out, "patches")
    os.makedirs(patches, exist_ok=True)
    for old, new, name in [("5.0/merged", "5.0.1", "UpdV1-V1.RTP"),
                           ("5.0.1", "5.0.2", "UpdV1-V2.RTP"),
                           ("5.0.2", "5.0.3", "UpdV2-V3.RTP")]:
        r = subprocess.run([args.mkpatch, os.path.join(out, old), os.path.join(out, new),
                            os.path.join(patches, name)])
        if r.returncode != 0:
            print("make_versions: mkpatch failed for " + name, file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
