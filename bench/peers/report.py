"""Turns the raw results of scripts/bench-peers.sh into Markdown tables.

    report.py RESULTS.tsv

Lines of RESULTS.tsv, tab-separated:
    machine KEY VALUE
    info    FILE KEY VALUE             (from smf_peer_bench)
    ours    FILE MEASURE MEDIAN_MS RUNS MIN_MS (from smf_peer_bench)
    peer    FILE MEASURE MS             (one line a run)
    timeout FILE MEASURE SECONDS        (killed before it finished a run)
    failed  FILE MEASURE STATUS
Ratios are ours / peer and ours / floor: below 1 ours is faster.
"""
import statistics
import sys
from collections import OrderedDict, defaultdict

FILES_NOTE = {
    "f1-1mib.mid": "format 1, 16 note tracks",
    "f1-10mib.mid": "format 1, 16 note tracks",
    "f1-50mib.mid": "format 1, 16 note tracks",
    "f1-2000trk.mid": "format 1, 1999 note tracks",
    "f0-10mib.mid": "format 0, one track",
}

# The goals, all on the 10 MiB format-1 file.
GOAL_FILE = "f1-10mib.mid"
GOALS = [
    ("parse within 1.5x of the storing-scanner floor", "parse", "scan", 1.5),
    ("Write (running status) within 2x of the plain copy", "write", "copy", 2.0),
    ("import at base 5 within 2x of the parse", "import5", "parse", 2.0),
]


def ms(value):
    if value is None:
        return "–"
    if value < 10:
        return "%.2f" % value
    if value < 100:
        return "%.1f" % value
    return "%.0f" % value


def ratio(a, b):
    if a is None or b is None or b == 0:
        return "–"
    return "%.3g" % (a / b)


class Peer:
    def __init__(self):
        self.runs = []
        self.timeout = None
        self.failed = None

    def median(self):
        return statistics.median(self.runs) if self.runs else None

    def cell(self):
        if self.runs:
            text = ms(self.median())
            if len(self.runs) > 1:
                text += " (%d)" % len(self.runs)
            return text
        if self.timeout is not None:
            return "> %s s" % self.timeout
        if self.failed is not None:
            return "failed (%s)" % self.failed
        return "not run"

    def ratio_cell(self, ours):
        if ours is None:
            return "–"
        if self.runs:
            return ratio(ours, self.median())
        if self.timeout is not None:
            return "< %.3g" % (ours / (float(self.timeout) * 1000.0))
        return "–"


def main():
    machine = OrderedDict()
    info = defaultdict(dict)
    ours = defaultdict(dict)
    ours_min = defaultdict(dict)
    peers = defaultdict(lambda: defaultdict(Peer))
    files = []
    with open(sys.argv[1]) as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            kind = parts[0]
            if kind == "machine":
                machine[parts[1]] = parts[2]
                continue
            name = parts[1]
            if name not in files:
                files.append(name)
            if kind == "info":
                info[name][parts[2]] = parts[3]
            elif kind == "ours":
                ours[name][parts[2]] = float(parts[3])
                ours_min[name][parts[2]] = float(parts[5])
            elif kind == "peer":
                peers[name][parts[2]].runs.append(float(parts[3]))
            elif kind == "timeout":
                peers[name][parts[2]].timeout = parts[3]
            elif kind == "failed":
                peers[name][parts[2]].failed = parts[3]

    out = []
    if machine:
        out.append("Machine: " + "; ".join("%s: %s" % kv for kv in machine.items()))
        out.append("")

    out.append("Ours and the floors, median wall time in ms (file in memory; write and copy into a new buffer):")
    out.append("")
    out.append("| file | bytes | tracks | events | read | parse | free | write | import b5 (beats) | copy floor "
               "| scan floor | parse / scan | write / copy | import / parse |")
    out.append("|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|")
    for name in files:
        o, i = ours[name], info[name]
        out.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            name, i.get("bytes", "–"), i.get("tracks", "–"), i.get("events", "–"), ms(o.get("read")),
            ms(o.get("parse")), ms(o.get("free")), ms(o.get("write")),
            "%s (%s)" % (ms(o.get("import5")), i.get("import5_beats", "–")) if "import5" in o else "–",
            ms(o.get("copy")), ms(o.get("scan")),
            ratio(o.get("parse"), o.get("scan")), ratio(o.get("write"), o.get("copy")),
            ratio(o.get("import5"), o.get("parse"))))
    out.append("")

    out.append("Parse from a path (file read included), median ms; ours / peer below 1 means ours is faster; "
               "(n) = runs when more than one:")
    out.append("")
    parse_peers = [("midicsv", "midicsv:parse"), ("mido", "mido:parse"), ("libsmf", "libsmf:parse"),
                   ("midi-file", "midi-file:parse")]
    header = "| file | ours read+parse |" + "".join(" %s | ours / %s |" % (p, p) for p, _ in parse_peers)
    out.append(header)
    out.append("|---|--:|" + "--:|--:|" * len(parse_peers))
    for name in files:
        mine = ours[name].get("read+parse")
        row = "| %s | %s |" % (name, ms(mine))
        for _, key in parse_peers:
            peer = peers[name][key]
            row += " %s | %s |" % (peer.cell(), peer.ratio_cell(mine))
        out.append(row)
    out.append("")

    out.append("Write from the parsed form into bytes in memory with running status, median ms:")
    out.append("")
    write_peers = [("midi-file", "midi-file:write"), ("mido", "mido:write")]
    out.append("| file | ours write |" + "".join(" %s | ours / %s |" % (p, p) for p, _ in write_peers))
    out.append("|---|--:|" + "--:|--:|" * len(write_peers))
    for name in files:
        mine = ours[name].get("write")
        row = "| %s | %s |" % (name, ms(mine))
        for _, key in write_peers:
            peer = peers[name][key]
            row += " %s | %s |" % (peer.cell(), peer.ratio_cell(mine))
        out.append(row)
    out.append("")

    out.append("Goals (%s):" % GOAL_FILE)
    out.append("")
    out.append("| goal | ours | floor or base | ratio of medians | ratio of minima | limit | met |")
    out.append("|---|--:|--:|--:|--:|--:|---|")
    o, m = ours[GOAL_FILE], ours_min[GOAL_FILE]
    for text, measure, base, limit in GOALS:
        a, b = o.get(measure), o.get(base)
        if a is None or b is None:
            out.append("| %s | – | – | – | – | %.1f | not measured |" % (text, limit))
            continue
        met = "met" if a / b <= limit else "NOT met"
        out.append("| %s | %s ms | %s ms | %.3g | %s | %.1f | %s |" % (
            text, ms(a), ms(b), a / b, ratio(m.get(measure), m.get(base)), limit, met))
    out.append("")
    print("\n".join(out))


main()
