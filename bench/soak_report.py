#!/usr/bin/env python3
"""Accounts for every frame of a soak run (bench/soak.sh).

Reads from the run's folder:
  frames.log   one line per frame the unit sent:
               start_ns end_ns length code late_us kind<TAB>detail
  checker.log  one line per frame the checker collected:
               first_ns last_ns end_ns bytes discarded max_gap_ms code result reason
               and "# ns mode NAME" / "# ns port_fault REASON" notes
  samples.tsv  RSS and CPU per minute
  sim.err, checker.out  the programs' own summaries

Each collection is given to the unit frame during which its first byte was
read (both programs use the same steady clock). The first collection of a
frame is that frame's outcome; later ones that start inside the same frame are
its tails (the rest of a frame the checker had already ended). A frame with no
collection of its own was either read into the previous frame's collection or
never read at all.
"""
import bisect
import collections
import os
import sys


def read_frames(path):
    frames = []
    with open(path) as f:
        for line in f:
            head, _, detail = line.rstrip("\n").partition("\t")
            start, end, length, code, late, kind = head.split()
            frames.append(dict(start=int(start), end=int(end), length=int(length), code=code,
                               late_ms=int(late) / 1000,
                               kind=kind.replace("_", " "), detail=detail, colls=[]))
    frames.sort(key=lambda fr: fr["start"])
    return frames


def read_collections(path):
    colls, notes = [], []
    with open(path) as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            if parts[0] == "#":
                notes.append((int(parts[1]), parts[2], " ".join(parts[3:])))
                continue
            first, last, end, nbytes, discarded, gap, code, result, reason = parts
            colls.append(dict(first=int(first), last=int(last), end=int(end), bytes=int(nbytes),
                              discarded=int(discarded), gap=float(gap), code=code,
                              result=result, reason=reason))
    return colls, notes


def pause_label(frame):
    if frame["kind"] != "pause":
        return frame["kind"]
    # "2 x 40 ms pause before byte 7,30"
    return "pause x" + frame["detail"].split()[0]


def mode_at(notes, t):
    mode = "start"
    for when, what, arg in notes:
        if what == "mode" and when <= t:
            mode = arg
    return mode


def main(folder):
    frames = read_frames(os.path.join(folder, "frames.log"))
    colls, notes = read_collections(os.path.join(folder, "checker.log"))
    # Frames still on the line when the checker stopped reading are left out.
    stops = [when for when, what, _ in notes if what == "stop"]
    starts = [fr["start"] for fr in frames]

    unattributed = []
    empty = 0
    for c in colls:
        if c["bytes"] == 0:
            empty += 1
            continue
        i = bisect.bisect_right(starts, c["first"]) - 1
        if i < 0:
            unattributed.append(c)
        else:
            frames[i]["colls"].append(c)

    # Frames still on the line when the checker stopped reading are left out.
    in_flight = [fr for fr in frames if stops and fr["end"] > stops[0]]
    frames = [fr for fr in frames if not (stops and fr["end"] > stops[0])]

    colls_by_first = sorted((c for c in colls if c["bytes"] > 0), key=lambda c: c["first"])
    firsts = [c["first"] for c in colls_by_first]

    # The outcome of each frame, and its tails.
    outcome = collections.Counter()
    by_kind = collections.defaultdict(collections.Counter)
    by_mode = collections.defaultdict(collections.Counter)
    tails = collections.Counter()
    tails_by_kind = collections.Counter()
    last_end = -1
    lost_examples = []
    for i, fr in enumerate(frames):
        label = pause_label(fr)
        if fr["colls"]:
            head = fr["colls"][0]
            what = f'{head["result"]}: {head["reason"]}'
            for t in fr["colls"][1:]:
                tails[f'{t["result"]}: {t["reason"]}'] += 1
                tails_by_kind[label] += 1
        else:
            # Read as part of an earlier collection (it began before this frame
            # and went on into it), or never read.
            j = bisect.bisect_left(firsts, fr["start"]) - 1
            inside = j >= 0 and colls_by_first[j]["end"] >= fr["start"]
            what = "no collection of its own: read into the previous one" if inside else \
                "no collection of its own: never read"
            if len(lost_examples) < 5:
                lost_examples.append((fr, what))
        outcome[what] += 1
        by_kind[label][what] += 1
        by_mode[mode_at(notes, fr["start"])][what] += 1

    sent = len(frames)
    print(f"frames sent by the unit (frame log): {sent + len(in_flight)}, of which "
          f"{len(in_flight)} still on the line when the checker stopped reading; "
          f"{sent} accounted for below")
    with open(os.path.join(folder, "sim.err")) as f:
        for line in f:
            if "frames sent" in line:
                print("  unit's own count:", line.strip().removeprefix("zel-unit-sim: "))
    print(f"frames collected by the checker: {len(colls)} "
          f"({len(colls) - empty - len(unattributed)} within unit frames, {empty} empty, "
          f"{len(unattributed)} before the first unit frame)")
    print()
    print("Outcome of each frame the unit sent (first collection that began inside it):")
    for what, n in sorted(outcome.items(), key=lambda kv: -kv[1]):
        print(f"  {n:7d}  {what}")
    accepted = sum(n for w, n in outcome.items() if w.startswith("accepted"))
    refused = sum(n for w, n in outcome.items() if w.startswith(("rejected", "checksum")))
    unseen = sum(n for w, n in outcome.items() if w.startswith("no collection"))
    print(f"  sent {sent} = accepted {accepted} + refused with a reason {refused}"
          f" + without a collection of its own {unseen}"
          f"  ({'holds' if sent == accepted + refused + unseen else 'DOES NOT HOLD'})")
    heads = sum(1 for fr in frames if fr["colls"])
    late = sum(len(fr["colls"]) for fr in in_flight)
    print(f"  collections {len(colls)} = frame outcomes {heads} + tails {sum(tails.values())}"
          f" + empty {empty} + before the first frame {len(unattributed)}"
          f" + in frames still on the line at the end {late}"
          f"  ({'holds' if len(colls) == heads + sum(tails.values()) + empty + len(unattributed) + late else 'DOES NOT HOLD'})")
    print()
    print("Further collections inside an already ended frame (tails), by verdict:")
    for what, n in sorted(tails.items(), key=lambda kv: -kv[1]):
        print(f"  {n:7d}  {what}")
    print()
    print("By damage:")
    for label in sorted(by_kind):
        row = by_kind[label]
        total = sum(row.values())
        print(f"  {label} ({total} frames, {tails_by_kind[label]} tails):")
        for what, n in sorted(row.items(), key=lambda kv: -kv[1]):
            print(f"    {n:7d}  {what}")
    print()
    print("Frames by polling mode:")
    for mode in sorted(by_mode):
        row = by_mode[mode]
        print(f"  {mode}: " + ", ".join(f"{what} {n}" for what, n in
                                        sorted(row.items(), key=lambda kv: -kv[1])))
    for fr, what in lost_examples:
        print(f"  example {what}: {fr['code']} {fr['length']} bytes, {fr['kind']} {fr['detail']}")
    plain_lost = [fr for fr in frames if fr["kind"] == "none" and
                  not (fr["colls"] and fr["colls"][0]["result"] == "accepted")]
    late = [fr for fr in plain_lost if fr["late_ms"] > 20]
    print()
    print(f"Undamaged frames not accepted: {len(plain_lost)}; in {len(late)} of them the unit "
          f"itself wrote a byte more than 20 ms late (the machine stalled the unit's thread)")
    for fr in plain_lost[:8]:
        head = fr["colls"][0] if fr["colls"] else None
        seen = (f'checker read {head["bytes"]} bytes, longest quiet {head["gap"]:.1f} ms, '
                f'{head["result"]}: {head["reason"]}') if head else "no collection of its own"
        print(f"  {fr['code']} {fr['length']} bytes, unit late {fr['late_ms']:.1f} ms; {seen}")
    gaps = [c["gap"] for c in colls if c["result"].startswith("accepted") and c["bytes"] > 8]
    if gaps:
        gaps.sort()
        print()
        print(f"Longest quiet between two bytes read within an accepted frame: "
              f"median {gaps[len(gaps) // 2]:.1f} ms, max {gaps[-1]:.1f} ms")
    longest = sorted(colls, key=lambda c: c["end"] - c["first"])[-3:]
    print("Longest collections (the window waits in the receive handler meanwhile): " +
          ", ".join(f'{(c["end"] - c["first"]) / 1e6:.0f} ms over {c["bytes"]} bytes'
                    for c in reversed(longest)))
    faults = [n for n in notes if n[1] == "port_fault"]
    print(f"Port faults (port closed by the checker): {len(faults)}")
    for when, _, reason in faults[:5]:
        print(f"  {reason}")
    print()
    with open(os.path.join(folder, "checker.out")) as f:
        print("Checker harness summary:")
        for line in f:
            print("  " + line.rstrip())
    print()
    print("RSS and CPU per minute (CPU in % of one core over that minute):")
    with open(os.path.join(folder, "samples.tsv")) as f:
        for line in f:
            print("  " + line.rstrip().replace("\t", " | "))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
