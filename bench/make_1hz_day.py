"""Writes a synthetic 1 Hz multi-GNSS RINEX 3.05 observation day for the reader benchmark.

Usage: python bench/make_1hz_day.py OUT.rnx [--hours H]

40 satellites in view all day (GPS 12, GLONASS 8, Galileo 10, BeiDou 10) with
C/L/D/S on 2-3 frequencies each, about 36 million observations for 24 hours.
Values follow smooth random walks; about 3 % of fields are blank and phase
fields carry signal-strength digits, as receiver output does.
"""
import argparse
import math
import random

SYSTEMS = {
    "G": (12, ["C1C", "L1C", "D1C", "S1C", "C2W", "L2W", "D2W", "S2W", "C5Q", "L5Q", "D5Q", "S5Q"]),
    "R": (8, ["C1C", "L1C", "D1C", "S1C", "C2P", "L2P", "D2P", "S2P"]),
    "E": (10, ["C1C", "L1C", "D1C", "S1C", "C5Q", "L5Q", "D5Q", "S5Q", "C7Q", "L7Q", "D7Q", "S7Q"]),
    "C": (10, ["C2I", "L2I", "D2I", "S2I", "C7I", "L7I", "D7I", "S7I", "C6I", "L6I", "D6I", "S6I"]),
}


def header(hours: int) -> str:
    def line(content, label):
        return f"{content:<60}{label}\n"

    out = [line("     3.05           OBSERVATION DATA    M: Mixed", "RINEX VERSION / TYPE"),
           line("make_1hz_day.py     bench               20240101 000000 UTC", "PGM / RUN BY / DATE"),
           line("SYNT", "MARKER NAME"),
           line("1                   SYNTHETIC RX        1.0", "REC # / TYPE / VERS"),
           line("1                   SYNTHETIC ANT       NONE", "ANT # / TYPE"),
           line("  3172000.0000   604000.0000  5600000.0000", "APPROX POSITION XYZ")]
    for system, (_, codes) in SYSTEMS.items():
        for start in range(0, len(codes), 13):
            head = f"{system}  {len(codes):3d}" if start == 0 else "      "
            out.append(line(head + "".join(f" {c}" for c in codes[start:start + 13]), "SYS / # / OBS TYPES"))
    out.append(line("     1.000", "INTERVAL"))
    out.append(line("  2024     1     1     0     0    0.0000000     GPS", "TIME OF FIRST OBS"))
    out.append(line("", "END OF HEADER"))
    return "".join(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--hours", type=int, default=24)
    args = parser.parse_args()
    rng = random.Random(20240101)
    sats = [(s, p, codes) for s, (n, codes) in SYSTEMS.items() for p in range(1, n + 1)]
    # Per satellite: range (m), range rate (m/s), SNR base (dB-Hz).
    state = {(s, p): [2.2e7 + rng.uniform(-2e6, 2e6), rng.uniform(-600, 600), rng.uniform(35, 50)] for s, p, _ in sats}
    wavelength = {"1": 0.1903, "2": 0.2442, "5": 0.2548, "6": 0.2344, "7": 0.2483}
    with open(args.out, "w") as f:
        f.write(header(args.hours))
        for t in range(args.hours * 3600):
            hh, rest = divmod(t, 3600)
            mm, ss = divmod(rest, 60)
            lines = [f"> 2024 01 01 {hh:02d} {mm:02d} {ss:10.7f}  0{len(sats):3d}\n"]
            for s, p, codes in sats:
                st = state[(s, p)]
                st[1] += rng.gauss(0, 0.01)
                st[0] += st[1]
                snr = st[2] + 3 * math.sin(t / 900 + p)
                fields = []
                for code in codes:
                    if rng.random() < 0.03:
                        fields.append(" " * 16)
                        continue
                    kind, band = code[0], code[1]
                    if kind == "C":
                        fields.append(f"{st[0]:14.3f}  ")
                    elif kind == "L":
                        fields.append(f"{st[0] / wavelength[band]:14.3f} {min(9, int(snr / 6))}")
                    elif kind == "D":
                        fields.append(f"{-st[1] / wavelength[band]:14.3f}  ")
                    else:
                        fields.append(f"{snr:14.3f}  ")
                lines.append(f"{s}{p:02d}" + "".join(fields).rstrip() + "\n")
            f.write("".join(lines))


if __name__ == "__main__":
    main()
