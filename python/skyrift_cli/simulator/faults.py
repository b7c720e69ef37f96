"""Faults a station-day can have, injected at known places: data gaps, receiver clock
jumps and a signal the receiver tracks only part of the time.

They draw from a random stream of their own, so that asking for none leaves the
simulation as it was, byte for byte. Each is written to the truth in the terms the
quality control reports it:
- a gap: the last epoch before it and the first after it (every epoch between is
  missing, for longer than the 600 s beyond which a break is a gap, not a hole);
- a clock jump: the epoch at which every pseudorange jumps by k light-milliseconds
  while the carrier phases run on, as receivers that keep their phase continuous do,
  so that code minus phase steps by k ms (k > 0: the code jumps ahead);
- a dropped signal: the exact number of its observations removed (code, phase and
  SNR of that band and attribute together, as a receiver losing the signal does) and
  which satellite epochs lost it.
Slip epochs are left alone, so that the injected slips stay where the truth says.
"""
from __future__ import annotations

import math
from dataclasses import dataclass

import numpy as np

from .orbits import C_LIGHT
from .signals import SIGNALS

FAULT_STREAM = 0x9A95  # the faults' random stream, beside the simulation's own seed
GAP_SECONDS = (900.0, 1800.0)  # shortest and longest gap, well beyond a 600-s hole
JUMP_MS = (1, 2, 3)  # sizes of clock jumps, either sign
KEEP_CLEAR = 2  # epochs between a fault and a slip, another fault or the file's ends
TRIES = 2000


@dataclass(frozen=True)
class DropSignal:
    system: str  # G, R, E, C
    code: str  # the pseudorange code naming the signal, e.g. C2W
    fraction: float  # of its observations, 0 < fraction <= 1

    def check(self) -> None:
        written = [f"C{s.band_attr}" for s in SIGNALS.get(self.system, ())]
        if self.code not in written:
            raise ValueError(f"the simulator writes no {self.system}:{self.code} "
                             f"(its {self.system} codes: {', '.join(written) or 'none'})")
        if not 0.0 < self.fraction <= 1.0:
            raise ValueError(f"the fraction to drop must be above 0 and at most 1, not {self.fraction:g}")


@dataclass
class FaultRecord:
    recorded: np.ndarray  # per epoch: written to the file
    gaps: list[dict]
    clock_jumps: list[dict]
    dropped: list[dict]


def inject_faults(tracks, times, interval: float, config, slip_epochs, iso) -> FaultRecord:
    """Gaps, then clock jumps, then dropped signals; slip_epochs holds (satellite,
    epoch index) of every injected slip; iso(seconds) names an epoch."""
    rng = np.random.default_rng([config.seed, FAULT_STREAM])
    busy = {i for _, i in slip_epochs}
    recorded = np.ones(times.size, dtype=bool)
    gaps = _gaps(rng, recorded, interval, config.gaps, busy)
    jumps = _clock_jumps(rng, tracks, recorded, config.clock_jumps, busy)
    dropped = [_drop(rng, tracks, recorded, d, set(slip_epochs), lambda i: iso(times[i]))
               for d in config.drop_signals]
    return FaultRecord(
        recorded,
        [{"start": iso(times[a - 1]), "end": iso(times[b]), "seconds": float(times[b] - times[a - 1])}
         for a, b in gaps],
        [{"time": iso(times[i]), "milliseconds": k} for i, k in jumps], dropped)


def _clear(i: int, busy: set[int]) -> bool:
    return all(abs(i - j) > KEEP_CLEAR for j in busy)


def _gaps(rng, recorded, interval: float, count: int, busy: set[int]) -> list[tuple[int, int]]:
    """`count` runs of missing epochs [a, b), in time order."""
    if not count:
        return []
    shortest = max(2, math.ceil(GAP_SECONDS[0] / interval))
    longest = max(shortest, math.floor(GAP_SECONDS[1] / interval))
    n = recorded.size
    chosen: list[tuple[int, int]] = []
    for _ in range(TRIES):
        if len(chosen) == count:
            break
        size = int(rng.integers(shortest, longest + 1))
        if n - 2 * KEEP_CLEAR - size <= KEEP_CLEAR:
            break
        a = int(rng.integers(KEEP_CLEAR + 1, n - KEEP_CLEAR - size))
        b = a + size
        if any(a - KEEP_CLEAR <= i <= b + KEEP_CLEAR for i in busy):
            continue
        if any(a <= d + KEEP_CLEAR and c <= b + KEEP_CLEAR for c, d in chosen):
            continue
        chosen.append((a, b))
    if len(chosen) < count:
        raise ValueError(f"{n} epochs cannot hold {count} gaps of {shortest * interval:g} s or "
                         "more apart from each other and the slips: ask for fewer or a longer span")
    for a, b in chosen:
        recorded[a:b] = False
        busy.update(range(a - 1, b + 1))
    return sorted(chosen)


def _clock_jumps(rng, tracks, recorded, count: int, busy: set[int]) -> list[tuple[int, int]]:
    """`count` epochs, each right after a recorded one, at which every pseudorange jumps."""
    if not count:
        return []
    candidates = [i for i in range(1, recorded.size) if recorded[i] and recorded[i - 1]
                  and sum(bool(t.visible[i] and t.visible[i - 1]) for t in tracks) >= 2]
    chosen: list[tuple[int, int]] = []
    for _ in range(TRIES):
        if len(chosen) == count or not candidates:
            break
        i = candidates[int(rng.integers(len(candidates)))]
        if not _clear(i, busy):
            continue
        k = int(rng.choice(JUMP_MS)) * int(rng.choice([-1, 1]))
        chosen.append((i, k))
        busy.add(i)
    if len(chosen) < count:
        raise ValueError(f"found room for {len(chosen)} of {count} clock jumps: ask for fewer "
                         "or a longer span")
    for i, k in chosen:
        for track in tracks:
            for name, values in track.obs.items():
                if name[0] == "C":
                    values[i:] += k * 1e-3 * C_LIGHT
    return sorted(chosen)


def _drop(rng, tracks, recorded, drop: DropSignal, slip_epochs: set, epoch_text) -> dict:
    """Remove exactly round(fraction x observations) of the signal's observations, away
    from slip epochs; epoch_text(index) names an epoch."""
    band_attr = drop.code[1:]
    pool: list[tuple[object, int]] = []
    observations = 0
    for track in tracks:
        if track.sat[0] != drop.system:
            continue
        present = recorded & np.isfinite(track.obs[drop.code])
        observations += int(present.sum())
        pool += [(track, int(i)) for i in np.flatnonzero(present)
                 if (track.sat, int(i)) not in slip_epochs]
    wanted = min(int(round(drop.fraction * observations)), len(pool))
    picked = sorted((pool[j] for j in rng.choice(len(pool), size=wanted, replace=False)),
                    key=lambda p: (p[0].sat, p[1]))
    epochs: dict[str, list[str]] = {}
    for track, i in picked:
        for kind in "CLS":
            track.obs[kind + band_attr][i] = np.nan
        epochs.setdefault(track.sat, []).append(epoch_text(i))
    return {"system": drop.system, "code": drop.code, "fraction": drop.fraction,
            "observations": observations, "dropped": wanted, "epochs": epochs}
