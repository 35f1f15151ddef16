#!/usr/bin/env python3
"""Reads what a capture (tcpdump -w, Ethernet) holds of the upgrade stream: every UDP datagram
to port 13456, its header fields, and whether its data are the bytes of a file.

  wire.py count CAPTURE               the number of stream datagrams
  wire.py first-time CAPTURE          the capture time of the first one (seconds, epoch)
  wire.py sources CAPTURE             their distinct source addresses, one a line
  wire.py check CAPTURE FILE          every datagram's total length is FILE's and its data
                                      are FILE's bytes at its place: prints the count, exit 1 if not
"""
import struct
import sys


def datagrams(path):
    with open(path, "rb") as f:
        head = f.read(24)
        if len(head) < 24:
            return
        magic = struct.unpack("<I", head[:4])[0]
        endian = "<" if magic in (0xA1B2C3D4, 0xA1B23C4D) else ">"
        nano = magic in (0xA1B23C4D, 0x4D3CB2A1)
        while True:
            rec = f.read(16)
            if len(rec) < 16:
                return
            sec, frac, caplen, _ = struct.unpack(endian + "IIII", rec)
            frame = f.read(caplen)
            t = sec + frac / (1e9 if nano else 1e6)
            if len(frame) < 14 + 20 + 8 or frame[12:14] != b"\x08\x00":
                continue
            ip = frame[14:]
            ihl = (ip[0] & 15) * 4
            if ip[9] != 17:
                continue
            udp = ip[ihl:]
            dport = struct.unpack(">H", udp[2:4])[0]
            if dport != 13456:
                continue
            src = ".".join(str(b) for b in ip[12:16])
            yield t, src, udp[8:]


def fields(d):
    crc, magic, itype, policy, force, seq, count, dlen, total, fcrc = struct.unpack("<IIBBHIIIII", d[:32])
    return dict(crc=crc, magic=magic, seq=seq, count=count, dlen=dlen, total=total, filecrc=fcrc, data=d[36:36 + dlen])


def main():
    cmd, cap = sys.argv[1], sys.argv[2]
    got = list(datagrams(cap))
    if cmd == "count":
        print(len(got))
    elif cmd == "first-time":
        print("%.6f" % got[0][0] if got else "none")
    elif cmd == "sources":
        for s in sorted({src for _, src, _ in got}):
            print(s)
    elif cmd == "check":
        data = open(sys.argv[3], "rb").read()
        bad = 0
        for _, _, d in got:
            h = fields(d)
            want = data[h["seq"] * 1024:h["seq"] * 1024 + h["dlen"]]
            if len(d) != 1060 or h["total"] != len(data) or h["data"] != want:
                bad += 1
        print(len(got))
        sys.exit(1 if bad else 0)
    else:
        sys.exit("wire.py: unknown command " + cmd)


main()
