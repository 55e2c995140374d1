#!/usr/bin/env python3
"""Why carving with -fragments missed the fragmented photos of a used card.

Holds the plan and searches that trace_fragments printed for a card image
against the card's manifest (make_used_card.py): for every fragmented photo
not recovered byte for byte, the first place where the search went wrong,
one line per photo, then a count per class:

  header cut          the photo's first piece ends inside its header (before
                      its scan data): no frame to follow
  break missed        no search at the true cut: the following decoded on
                      past it (detected later or at a wrong block)
  wrap-around         the next piece lies before the cut (the file system
                      wrapped to the start of the card)
  beyond reach        the search stopped before the next piece
  skipped: claimed    the next piece was passed over as part of a photo
                      already put together
  skipped: filtered   the next piece was passed over as not scan data
  damaged             the next piece was decoded but not usable: the library
                      saw damage, or its rows rose above the bound where a
                      trial stops
  not chosen          the next piece was decoded but another (or none) was taken
  end                 every next piece was found, but the photo did not end
                      right (its end, or the final decode check)

Photos written from runs that are not their own are listed as well.

  classify_fragment_misses.py MANIFEST TRACE [--group deleted|live] [--quiet]
"""
import argparse
import collections
import json


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("manifest")
    ap.add_argument("trace")
    ap.add_argument("--group", default="deleted")
    ap.add_argument("--quiet", action="store_true", help="counts only")
    a = ap.parse_args()
    man = json.load(open(a.manifest))
    block = man["fs"]["cluster_bytes"]
    trace = {}
    for line in open(a.trace):
        t = json.loads(line)
        trace[t["soi"]] = t
    owner = []  # (offset, end, soi) of every photo the plan writes
    for t in trace.values():
        for o, n in t["runs"]:
            owner.append((o, o + n, t["soi"]))

    def claimed_by_other(p, soi):
        return any(o <= p < e and s != soi for o, e, s in owner)

    counts = collections.Counter()
    totals = collections.Counter()
    for r in man[a.group]:
        if r["fragments"] == 1:
            continue
        cls = "2" if r["fragments"] == 2 else "3+"
        totals[cls] += 1
        truth = [tuple(x) for x in r["runs"]]
        soi = truth[0][0]
        t = trace.get(soi)
        if t and [tuple(x) for x in t["runs"]] == truth:
            continue
        why = classify(t, truth, block, claimed_by_other)
        counts[(cls, why[0])] += 1
        if not a.quiet:
            print("%-28s %s pieces  %-18s %s" % (r["name"], r["fragments"], why[0], why[1]))
    # Photos written from runs other than their own (earlier-deleted photos
    # whose clusters were reused have no right runs to compare with).
    truth = {r["runs"][0][0]: r for key in ("deleted", "live", "earlier_deleted") for r in man[key]
             if key != "earlier_deleted" or r["intact"]}
    wrong = [t for t in trace.values() if t["kind"] in ("whole", "pieces") and t["soi"] in truth
             and [tuple(x) for x in t["runs"]] != [tuple(x) for x in truth[t["soi"]]["runs"]]]
    for t in wrong:
        print("written wrong: %s from %s" % (truth[t["soi"]]["name"], t["runs"]))
    print("missed, by class (2 pieces / 3+ pieces):")
    for name in sorted({k[1] for k in counts}):
        print("  %-18s %3d %3d" % (name, counts[("2", name)], counts[("3+", name)]))
    print("  %-18s %3d %3d" % ("fragmented photos", totals["2"], totals["3+"]))


def classify(t, truth, block, claimed_by_other):
    soi = truth[0][0]
    if t is None:
        return "header cut", "no candidate at the SOI"
    if t["kind"] == "no_frame" or t["why"].startswith("its data stops before the first block"):
        return "header cut", t["why"] or t["kind"]
    searches = t.get("searches", [])
    for k in range(len(truth) - 1):
        cut = truth[k][0] + truth[k][1]
        nxt = truth[k + 1][0]
        where = "piece %d, cut at block %d" % (k + 1, (cut - soi) // block)
        at_cut = [s for s in searches if s["cut"] == cut]
        if not at_cut:
            cuts = sorted({(s["cut"] - cut) // block for s in searches if s["cut"] >= truth[k][0]})
            return "break missed", "%s; searches at %s blocks from it" % (where, cuts[:6])
        tried = [tr for s in at_cut for tr in s["trials"] if tr[0] == nxt]
        if not tried:
            if nxt < cut:
                return "wrap-around", "%s, next piece %d blocks back" % (where, (cut - nxt) // block)
            # The search went as far as its last block, or round past the end.
            if all(s["reach"] < nxt and s["reach"] >= cut for s in at_cut):
                n = max(len(s["trials"]) for s in at_cut)
                return "beyond reach", "%s, next piece %d blocks on, %d decoded" % (
                    where, (nxt - cut) // block, n)
            if claimed_by_other(nxt, soi):
                return "skipped: claimed", where
            return "skipped: filtered", where
        if not any(tr[1] for tr in tried):
            return "damaged", where
        if not any(s["chosen"] == nxt for s in at_cut):
            s = at_cut[0]
            mine = min(tr[4] for tr in tried if tr[1])
            chosen = [tr for tr in s["trials"] if tr[0] == s["chosen"]]
            return "not chosen", "%s, score %.2f (rows %d), level %.2f, taken %s" % (
                where, mine, tried[0][3], s["level"],
                "none" if s["chosen"] < 0 else "%+d blocks score %.2f" % (
                    (s["chosen"] - cut) // block, chosen[0][4] if chosen else -1))
    return "end", t["why"] or "runs %s" % t["runs"]


if __name__ == "__main__":
    main()
