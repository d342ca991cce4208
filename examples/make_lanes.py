#!/usr/bin/env python3
"""Writes the example lanes low.bin and high.bin beside this script: the word at lane
offset i is i itself, so a dump of the image shows where each word came from."""

import pathlib

here = pathlib.Path(__file__).parent
(here / "low.bin").write_bytes(bytes(i & 0xFF for i in range(8192)))
(here / "high.bin").write_bytes(bytes(i >> 8 for i in range(8192)))
