#!/usr/bin/env python3
"""Writes a corpus shaped like a Windows INF folder: about 1,500 files, about 100 MB, sizes
from 1 KB to 512 KB (most small, a few large), a handful of the kit's INF files among them.
One file in five (and two of the kit's) is UTF-16LE with the byte-order mark, as an INF folder
holds them; its size in bytes is drawn as for the others, and one in ten of those is localized
(a line of Japanese text after each line, which the ANSI code page has no form for). The text comes from the real INF
samples when they are given, else from made-up INF lines.

With STORE_FOLDER, it also writes 300 package folders of a driver store there (folders named
as Windows names them, one INF file directly inside each, sized and written as the others, two
of them the kit's).

    make_inf_corpus.py OUT_FOLDER [SAMPLES_FOLDER [STORE_FOLDER]]
"""
import os
import random
import sys

KIT_INF = (
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=KORVA\r\n"
    "ClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\r\n\r\n[Models.NTamd64]\r\n"
    "%Dev%=Install, USB\\VID_0547&PID_1002\r\n\r\n[Install.HW.AddReg]\r\n"
    "HKR,,CleanupWizard_DeviceIdentString,,\"{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\"\r\n"
)

SYNTHETIC = [
    "[Version]", "Signature=\"$WINDOWS NT$\"", "Class=Net",
    "ClassGuid={4d36e972-e325-11ce-bfc1-08002be10318}", "Provider=%ManufacturerName%",
    "DriverVer=06/21/2006,10.0.22621.1", "; a comment line about the section below",
    "[Manufacturer]", "%ManufacturerName%=Standard,NTamd64",
    "%Device.DeviceDesc%=Device_Install, PCI\\VEN_8086&DEV_100E",
    "HKR, Ndi\\params\\*SpeedDuplex, ParamDesc, 0, %SpeedDuplex%",
    "AddService = e1express, 2, e1e.Service, e1e.EventLog", "", "[Strings]",
    "ManufacturerName=\"Contoso\"", "Device.DeviceDesc=\"Contoso Network Adapter\"",
]

LOCALIZED = "Device.DeviceDesc = \"\u30cd\u30c3\u30c8\u30ef\u30fc\u30af \u30a2\u30c0\u30d7\u30bf\u30fc\uff08\u6a19\u6e96\uff09\"\r\n"


def main():
    out = sys.argv[1]
    samples = sys.argv[2] if len(sys.argv) > 2 else ""
    store = sys.argv[3] if len(sys.argv) > 3 else ""
    rng = random.Random(1500)
    lines = []
    if samples and os.path.isdir(samples):
        for name in sorted(os.listdir(samples)):
            if name.endswith(".inf"):
                with open(os.path.join(samples, name), "rb") as f:
                    text = f.read().decode("latin-1")
                lines.extend(l for l in text.replace("\r\n", "\n").split("\n") if "\x00" not in l)
    if len(lines) < 1000:
        lines = SYNTHETIC * 100
    os.makedirs(os.path.join(out, "other"), exist_ok=True)
    total = 0
    kit_positions = set(rng.sample(range(1500), 6))
    # The store's files follow the INF folders' in the same draw: 1500 and up.
    store_count = 300 if store else 0
    kit_positions |= set(rng.sample(range(1500, 1500 + store_count), 2)) if store else set()
    utf16_positions = {i for i in range(1500 + store_count) if i % 5 == 2} | set(sorted(kit_positions)[:2])
    utf16_total = 0
    for i in range(1500 + store_count):
        # Log-uniform sizes between 1 KB and 512 KB: mean about 70 KB.
        size = int(1024 * (2 ** rng.uniform(0, 9)))
        utf16 = i in utf16_positions
        if utf16:
            size //= 2  # characters
        start = rng.randrange(len(lines))
        parts = []
        length = 0
        j = start
        localized = utf16 and i % 50 == 2
        while length < size:
            line = lines[j % len(lines)] + "\r\n"
            if localized:
                line += LOCALIZED
            parts.append(line)
            length += len(line)
            j += 1
        text = "".join(parts)
        if i in kit_positions:
            text = KIT_INF + text
        folder = out if i % 50 else os.path.join(out, "other")
        name = "oem%d.inf" % i
        if i >= 1500:
            name = "store%d.inf" % i
            folder = os.path.join(store, "%s_amd64_%016x" % (name, rng.getrandbits(64)))
            os.makedirs(folder, exist_ok=True)
        data = b"\xff\xfe" + text.encode("utf-16-le") if utf16 else text.encode("latin-1")
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        total += len(data)
        utf16_total += len(data) if utf16 else 0
    print("corpus: %d files, %.1f MB, %d kit INF files (%d UTF-16), %d UTF-16 files of %.1f MB, in %s"
          % (1500 + store_count, total / 1e6, len(kit_positions), len(kit_positions & utf16_positions),
             len(utf16_positions), utf16_total / 1e6, out))


main()
