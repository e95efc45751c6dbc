"""Runs examples/pyvisa_mean.py against kolvane-scpi and the simulator."""
import re
import subprocess
import sys

from harness import Server, Sim, env_with_ports, server_command, temp_dir

with temp_dir() as d:
    sim = Sim(d)
    server = Server(server_command(), env=env_with_ports(d))
    try:
        out = subprocess.run([sys.executable, sys.argv[1],
                              f"TCPIP::127.0.0.1::{server.port}::SOCKET"],
                             capture_output=True, text=True, timeout=60)
        print(out.stdout, out.stderr)
        m = re.fullmatch(r"mean of 10 readings: (\d+\.\d{6}) Hz\n", out.stdout)
        ok = out.returncode == 0 and m and float(m.group(1)) > 0
        print("1 passed, 0 failed" if ok else "0 passed, 1 failed")
    finally:
        server.stop()
        sim.stop()
sys.exit(0 if ok else 1)
