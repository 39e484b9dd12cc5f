#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Peak resident memory of zvxpcd under the request mixes that once took it
to gigabytes, beside the same service answering one small request (the
anchor). Each case runs against a fresh service; the cases (and, with
--old, the two builds) take turns within each run. Figures are the
service's peak RSS (VmHWM) in MB: median, minimum and maximum of RUNS runs;
the goal is every case under 256 MB.

  anchor      one connection, one small request
  pieces-16   16 connections append one byte each, at once, to a 64 MiB
              piecewise-written file
  pieces-64   the same with 64 connections
  idle-40     40 connections send one 15 MiB request each, one after the
              other, and stay open (the RSS they still hold is given too)
  frames-64   64 connections send a 16 MiB frame each, at once (the replies
              served and "the service is busy" refusals are counted)

  bench/front/peak_rss.py [--build BUILD_DIR] [--runs RUNS] [--old ZVXPCD] [--cases NAME,...]

BUILD_DIR is a plain (not sanitised) build tree holding zvxpcd (default:
build/release); --old names another zvxpcd binary (an earlier build) to
measure beside it (an old build may need gigabytes for the pieces cases);
--cases picks cases by name (the anchor always runs). Everything runs in a
temporary directory.
"""

import argparse
import os
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

MiB = 1024 * 1024
EXIST = "zvPListExistProfile_XPC:reply:"
APPEND = "writeDataToPlistFile_XPC:reply:"


def frame(operation, text):
    payload = operation.encode() + b"\0\1" + text
    return struct.pack(">I", len(payload)) + payload


def read_reply(sock):
    """The reply text, 'error:MESSAGE', or 'closed'."""
    def exactly(n):
        data = b""
        while len(data) < n:
            piece = sock.recv(n - len(data))
            if not piece:
                return None
            data += piece
        return data
    try:
        header = exactly(4)
        if header is None:
            return "closed"
        payload = exactly(struct.unpack(">I", header)[0])
    except OSError:
        return "closed"
    if payload is None:
        return "closed"
    text = payload[1:].decode(errors="replace")
    return text if payload[0] == 0 else "error:" + text


class Service:
    def __init__(self, binary, work):
        self.dir = tempfile.mkdtemp(dir=work)
        self.socket_path = os.path.join(self.dir, "s.sock")
        prefs = os.path.join(self.dir, "prefs")
        os.mkdir(prefs)
        self.process = subprocess.Popen(
            [binary, "--socket", self.socket_path, "--preferences-dir", prefs],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(500):
            if os.path.exists(self.socket_path):
                return
            time.sleep(0.01)
        raise RuntimeError(binary + " did not start")

    def connect(self):
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.connect(self.socket_path)
        return sock

    def status(self, field):
        with open("/proc/%d/status" % self.process.pid) as status:
            for line in status:
                if line.startswith(field + ":"):
                    return int(line.split()[1]) / 1024.0  # kB to MB (MiB)
        raise RuntimeError("no " + field)

    def stop(self):
        self.process.terminate()
        self.process.wait()


def at_once(service, count, request):
    """`count` connections send `request` together; their replies."""
    socks = [service.connect() for _ in range(count)]
    replies = [None] * count

    def one(i):
        try:
            socks[i].sendall(request)
        except OSError:
            pass  # refused before it had read everything
        replies[i] = read_reply(socks[i])

    threads = [threading.Thread(target=one, args=(i,)) for i in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for sock in socks:
        sock.close()
    return replies


def anchor(service):
    sock = service.connect()
    sock.sendall(frame(EXIST, b"/"))
    read_reply(sock)
    sock.close()
    return ""


def pieces(count):
    def run(service):
        target = os.path.join(service.dir, "p.plist")
        with open(target + ".dummy", "wb") as dummy:
            dummy.write(b"x" * (64 * MiB - count))
        url = ("file://" + target + ":AddURL:END").encode()
        replies = at_once(service, count, frame(APPEND, url + b"y"))
        return "%d TRUE" % replies.count("TRUE")
    return run


def idle_40(service):
    socks = []
    request = frame(EXIST, b"/" * (15 * MiB))
    for _ in range(40):
        sock = service.connect()
        sock.sendall(request)
        read_reply(sock)
        socks.append(sock)
    held = service.status("VmRSS")
    for sock in socks:
        sock.close()
    return "holds %.0f MB while idle" % held


def frames_64(service):
    request = frame(EXIST, b"/" * (16 * MiB - len(EXIST) - 2))
    replies = at_once(service, 64, request)
    busy = replies.count("error:the service is busy")
    return "%d served, %d busy" % (len(replies) - busy - replies.count("closed"), busy)


CASES = [("anchor", anchor), ("pieces-16", pieces(16)), ("pieces-64", pieces(64)),
         ("idle-40", idle_40), ("frames-64", frames_64)]


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(root, "build", "release"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--old")
    parser.add_argument("--cases", help="comma-separated case names")
    args = parser.parse_args()
    cases = [c for c in CASES if not args.cases or c[0] == "anchor" or c[0] in args.cases.split(",")]
    binaries = [("new", os.path.join(args.build, "Helper/XPCService/Source/front/zvxpcd"))]
    if args.old:
        binaries.append(("old", args.old))
    for _, binary in binaries:
        if not os.access(binary, os.X_OK):
            sys.exit("no " + binary + ": build the zvxpcd target first")
    peaks = {}
    notes = {}
    with tempfile.TemporaryDirectory() as work:
        for _ in range(args.runs):
            for case, run in cases:
                for label, binary in binaries:
                    service = Service(binary, work)
                    try:
                        notes[(label, case)] = run(service)
                        peaks.setdefault((label, case), []).append(service.status("VmHWM"))
                    finally:
                        service.stop()
    print("peak RSS of zvxpcd in MB over %d runs (median / min / max)" % args.runs)
    for case, _ in cases:
        for label, _ in binaries:
            values = peaks[(label, case)]
            print("  %-10s %-4s %7.1f %7.1f %7.1f   %s" % (case, label, statistics.median(values), min(values),
                                                         max(values), notes[(label, case)]))


if __name__ == "__main__":
    main()
