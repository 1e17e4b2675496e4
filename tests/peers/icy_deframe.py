#!/usr/bin/env python3
"""Reads an ICY stream with in-band titles on stdin, checks every title
block and writes the audio alone to stdout.

usage: icy_deframe.py METAINT TITLES_FILE

Every complete title block must be "StreamTitle='...';StreamUrl='...';"
followed by at least one NUL and nothing but NULs. Each title is appended
to TITLES_FILE as one line as it arrives. A stream cut off in its last
frame is fine. Exit 0 when every block was well formed, 1 otherwise.
"""
import re
import sys

BLOCK = re.compile(rb"^StreamTitle='(.*)';StreamUrl='(.*)';(\x00+)$", re.S)


def main():
    metaint = int(sys.argv[1])
    titles = open(sys.argv[2], "ab", buffering=0)
    data_in = sys.stdin.buffer
    out = sys.stdout.buffer
    frames = 0
    audio_bytes = 0
    while True:
        audio = data_in.read(metaint)
        if not audio:
            break
        out.write(audio)
        audio_bytes += len(audio)
        if len(audio) < metaint:
            break
        length_byte = data_in.read(1)
        if not length_byte:
            break
        frames += 1
        length = length_byte[0] * 16
        if length == 0:
            continue
        block = data_in.read(length)
        if len(block) < length:
            break
        match = BLOCK.match(block)
        if not match:
            sys.stderr.write("bad title block in frame %d: %r\n" % (frames, block[:80]))
            return 1
        titles.write(match.group(1) + b"\n")
    out.flush()
    sys.stderr.write("frames=%d audio=%d\n" % (frames, audio_bytes))
    return 0


if __name__ == "__main__":
    sys.exit(main())
