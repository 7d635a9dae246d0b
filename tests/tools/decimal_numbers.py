#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Reads well-formed numbers as Python does, by the rules a number cell keeps.

usage: decimal_numbers.py FILE

FILE holds one number a line, as "-" (optional), integer digits, and "." with
fraction digits when the text had a fraction; separators are already sorted
out. For each line, prints one of:
  text        it stays text: an integer of more than 15 digits; a decimal of
              more than 15 significant digits whose nearest double, printed
              with as many, shows other digits; more than 308 integer or 400
              fraction digits, which are past any double
  tiny        a number, but below the smallest double
  BITS        its nearest double, as the unsigned 64-bit integer of its IEEE
              754 bits (never -0)
Significant digits run from the first that is not 0 to the units or, past
them, to the fraction's last that is not 0.
Values come from Python's float() and decimal module, not from C's strtod.
"""
import decimal
import struct
import sys


def verdict(line):
    negative = line.startswith("-")
    body = line[1:] if negative else line
    integer, _, fraction = body.partition(".")
    has_fraction = "." in body
    integer_digits = integer.lstrip("0")
    if not has_fraction:
        if len(integer_digits) > 15:
            return "text"
    elif len(integer_digits) > 308 or len(fraction.rstrip("0")) > 400:
        return "text"
    significant = (integer + fraction.rstrip("0")).lstrip("0")
    value = float(line)
    if value == 0.0:
        return "tiny" if significant else "0"
    if len(significant) > 15:
        shown = "%.*e" % (len(significant) - 1, abs(value))
        digits, _, power = shown.partition("e")
        if (digits.replace(".", "") != significant or
                int(power) != decimal.Decimal(line).adjusted()):
            return "text"
    return str(struct.unpack("<Q", struct.pack("<d", value))[0])


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    with open(sys.argv[1], encoding="ascii") as f:
        for line in f:
            print(verdict(line.strip()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
