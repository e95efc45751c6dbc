#!/usr/bin/env python3
"""Reads ten frequencies from the counter through kolvane-scpi and prints
their mean.

    examples/pyvisa_mean.py [RESOURCE]

RESOURCE is a VISA resource name, by default TCPIP::127.0.0.1::5025::SOCKET
(kolvane-scpi on this machine). Needs PyVISA with the pure-Python backend
(Debian: python3-pyvisa python3-pyvisa-py).
"""
import statistics
import sys

import pyvisa

OVERFLOW = 9.91e37  # SCPI's not-a-number: no valid reading

resource = sys.argv[1] if len(sys.argv) > 1 else "TCPIP::127.0.0.1::5025::SOCKET"
rm = pyvisa.ResourceManager("@py")
counter = rm.open_resource(resource, read_termination="\n", write_termination="\n")
counter.timeout = 30000  # ms; ten readings at a 1 s gate take about 11 s

print(counter.query("*IDN?"), file=sys.stderr)
counter.write("CONF:FREQ (@1)")        # frequency on input A
counter.write("FREQ:GATE:TIME 0.1")    # gate 100 ms
counter.write("SAMP:COUN 10")          # READ? returns ten readings
readings = [float(v) for v in counter.query("READ?").split(",")]
error = counter.query("SYST:ERR?")
counter.close()

if not error.startswith("0,"):
    sys.exit("the counter reported: " + error)
valid = [r for r in readings if r < OVERFLOW]
if not valid:
    sys.exit("no valid reading (is a signal connected?)")
print(f"mean of {len(valid)} readings: {statistics.mean(valid):.6f} Hz")
