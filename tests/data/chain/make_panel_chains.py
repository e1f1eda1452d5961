#!/usr/bin/python3
"""Writes the option chains the chain panel's tests serve on 127.0.0.1.

panel_aapl.json: three expiries of an equity chain priced off a smile
(Black-Scholes, no dividend), quotes rounded to cents, with the quirks a real
file has: a one-sided quote, a crossed one, a deep in-the-money call quoted
below its intrinsic value, a contract without any quote, null last-trade
times. The feed's own "iv" and "delta" sit beside them, a little off ours.
panel_wide.json: the same underlying with 8 expiries and 41 strikes each, for
the screenshot and the hostile pass.
Run: tests/data/chain/make_panel_chains.py (writes next to itself).
"""
import json, math, os, random

SPOT = 187.44
STAMP = "2026-12-07 16:15:02"
RATE = 0.035

def ncdf(x):
    return 0.5 * math.erfc(-x / math.sqrt(2.0))

def bs(put, s, k, t, r, v):
    d1 = (math.log(s / k) + (r + v * v / 2) * t) / (v * math.sqrt(t))
    d2 = d1 - v * math.sqrt(t)
    if put:
        return k * math.exp(-r * t) * ncdf(-d2) - s * ncdf(-d1), ncdf(d1) - 1
    return s * ncdf(d1) - k * math.exp(-r * t) * ncdf(d2), ncdf(d1)

def smile(k, t):
    m = math.log(k / SPOT)
    return 0.22 - 0.18 * m + 0.9 * m * m / math.sqrt(max(t, 0.02))

def contract(root, ymd, put, k, t, rng):
    v = smile(k, t)
    price, delta = bs(put, SPOT, k, t, RATE, v)
    spread = max(0.04, round(0.03 * price, 2))
    bid = max(0.0, round(price - spread / 2, 2))
    ask = round(price + spread / 2, 2)
    sym = "%s%s%s%08d" % (root, ymd, "P" if put else "C", int(round(k * 1000)))
    return {
        "option": sym, "bid": bid, "ask": ask,
        "last_trade_price": round(price * (1 + rng.uniform(-0.02, 0.02)), 2),
        "last_trade_time": "2026-12-07T%02d:%02d:00" % (rng.randint(10, 15), rng.randint(0, 59)),
        "volume": rng.randint(0, 900), "open_interest": rng.randint(10, 9000),
        "iv": round(v + rng.uniform(-0.006, 0.006), 4), "delta": round(delta, 4),
    }

def chain(expiries, strikes, quirks):
    rng = random.Random(25)
    options = []
    for ymd, days in expiries:
        t = (days - 0.0077) / 365.0  # 16:15 of the stamp to 16:00 of the expiry
        for k in strikes:
            for put in (False, True):
                options.append(contract("AAPL", ymd, put, k, t, rng))
    if quirks:
        by = {o["option"]: o for o in options}
        one = by["AAPL261218C00205000"]; one["bid"] = None; one["ask"] = 0.05
        crossed = by["AAPL261218P00195000"]; crossed["bid"], crossed["ask"] = 8.9, 8.1
        below = by["AAPL261218C00150000"]; below["bid"], below["ask"] = 35.1, 35.5
        none = by["AAPL270115P00150000"]; none["bid"] = None; none["ask"] = None
        none["last_trade_time"] = None; none["last_trade_price"] = None
        by["AAPL270115C00205000"]["last_trade_time"] = None
    return {"timestamp": STAMP, "data": {"symbol": "AAPL", "security_type": "stock",
            "current_price": SPOT, "bid": 187.4, "ask": 187.5, "iv30": 24.1,
            "options": options}}

here = os.path.dirname(os.path.abspath(__file__))
small = chain([("261218", 11), ("270115", 39), ("270319", 102)],
              [150, 170, 175, 180, 185, 190, 195, 200, 205], True)
wide = chain([("261211", 4), ("261218", 11), ("261224", 17), ("270115", 39), ("270219", 74),
              ("270319", 102), ("270618", 193), ("271217", 375)],
             [140 + 2.5 * i for i in range(41)], False)
for name, doc in (("panel_aapl.json", small), ("panel_wide.json", wide)):
    with open(os.path.join(here, name), "w") as f:
        json.dump(doc, f, separators=(",", ":"))
        f.write("\n")
