#!/usr/bin/env python3
"""Lists a mailbox as the program's client does, with Python's poplib: LIST
and TOP n 1 for every message, one command at a time.
Usage: bench/poplib_list.py SERVER PORT USER PASSWORD"""
import poplib
import sys
import time

start = time.monotonic()
p = poplib.POP3(sys.argv[1], int(sys.argv[2]))
p.user(sys.argv[3])
p.pass_(sys.argv[4])
count = p.stat()[0]
headers = []
for i in range(1, count + 1):
    p.list(i)
    headers.append(p.top(i, 1)[1])
p.quit()
print(f"{len(headers)} messages, {time.monotonic() - start:.3f} s")
