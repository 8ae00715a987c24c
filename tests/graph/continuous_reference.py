#!/usr/bin/env python3
"""The best continuous fit the stepped EQ fit is measured against, computed independently with
SciPy: peaking bands of any frequency (20 Hz..20 kHz), Q (0.31..19.4) and gain (-12 dB..max
boost), fitted by multi-start bounded least squares to a measurement smoothed on the fit's grid.

  continuous_reference.py BANDS MAX_BOOST FILE...   prints one JSON object per file:
  {"rms_db": .., "max_db": .., "bands": [{"frequency_hz": .., "gain_db": .., "q": ..}, ..]}
"""
import json
import sys

import numpy as np
from scipy.optimize import least_squares

FROM_HZ, TO_HZ, SMOOTHING = 20.0, 20000.0, 12
STARTS = 24


def read(path):
    rows = []
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line and line[0] not in "*#":
                rows.append([float(v) for v in line.split()[:2]])
    a = np.array(rows)
    return a[:, 0], a[:, 1]


def smoothed(hz, db):
    k = np.arange(0, int(48 * np.log2(TO_HZ / FROM_HZ) + 1e-9) + 1)
    grid = FROM_HZ * 2.0 ** (k / 48.0)
    grid = grid[(grid >= hz[0]) & (grid <= hz[-1])]
    half = 2.0 ** (1.0 / (2 * SMOOTHING))
    out = []
    for f in grid:
        inside = (hz >= f / half) & (hz <= f * half)
        if inside.any():
            out.append(10 * np.log10(np.mean(10 ** (db[inside] / 10))))
        else:
            out.append(np.interp(np.log(f), np.log(hz), db))
    return grid, np.array(out)


def curve(x, grid):
    total = np.zeros_like(grid)
    for lnf, lnq, g in x.reshape(-1, 3):
        r2 = (grid / np.exp(lnf)) ** 2
        a2, q2 = 10 ** (g / 20), np.exp(2 * lnq)
        u2 = (1 - r2) ** 2
        total += 10 * np.log10((u2 + r2 * a2 / q2) / (u2 + r2 / (a2 * q2)))
    return total


def residual(x, grid, level):
    v = level + curve(x, grid)
    return v - v.mean()


def fit(grid, level, bands, boost, rng):
    lower = np.tile([np.log(20.0), np.log(0.31), -12.0], bands)
    upper = np.tile([np.log(20000.0), np.log(19.4), max(boost, 1e-9)], bands)
    best = None
    for start in range(STARTS):
        x0 = rng.uniform(lower, upper)
        x0[2::3] = rng.uniform(-6.0, min(boost, 6.0), bands) if boost > 0 else rng.uniform(-6, 0, bands)
        x0 = np.clip(x0, lower + 1e-9, upper - 1e-9)
        r = least_squares(residual, x0, bounds=(lower, upper), args=(grid, level), method="trf",
                          x_scale=np.tile([1.0, 1.0, 5.0], bands), max_nfev=4000)
        if best is None or r.cost < best.cost:
            best = r
    return best.x


def main():
    bands, boost = int(sys.argv[1]), float(sys.argv[2])
    rng = np.random.default_rng(12345)
    for path in sys.argv[3:]:
        grid, level = smoothed(*read(path))
        x = fit(grid, level, bands, boost, rng)
        r = residual(x, grid, level)
        print(json.dumps({
            "rms_db": float(np.sqrt(np.mean(r ** 2))),
            "max_db": float(np.max(np.abs(r))),
            "bands": [{"frequency_hz": float(np.exp(lnf)), "gain_db": float(g), "q": float(np.exp(lnq))}
                      for lnf, lnq, g in x.reshape(-1, 3)],
        }))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
