#!/usr/bin/env python3
"""Prints the median time of each client in a times file ("name seconds" a
line, as the compare scripts write it), in the order the clients first
appear, then the ratios asked for as NUMERATOR/DENOMINATOR.
Usage: bench/medians.py TIMES [A/B ...]"""
import statistics
import sys

times = {}
for line in open(sys.argv[1]):
    name, seconds = line.split()
    times.setdefault(name, []).append(float(seconds))
median = {name: statistics.median(values) for name, values in times.items()}
width = max(len(name) for name in median)
for name, value in median.items():
    print(f"median {name:{width}s} {value:.3f} s")
for ratio in sys.argv[2:]:
    top, bottom = ratio.split("/")
    if top not in median or bottom not in median:
        continue  # a client left out of this run
    print(f"{top} / {bottom} = {median[top] / median[bottom]:.3f}")
