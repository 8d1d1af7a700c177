"""The system calls an strace of a run shows on the files of one folder,
for fault injection to kill the run at each in turn."""
import re
from collections import Counter

CALL = re.compile(r'^(?:\d+\s+)?([a-z_0-9]+)\(')


def calls_on(trace, folder):
    """Each call in trace (strace -f -y -s 256) that names a file in folder, as (name, N): the run's N-th call
    of that name."""
    seen, calls = Counter(), []
    for line in trace.read_text(errors='replace').splitlines():
        match = CALL.match(line)
        if not match:
            continue
        name = match.group(1)
        seen[name] += 1
        if str(folder) in line and name != 'execve':  # strace starts it by name
            calls.append((name, seen[name]))
    return calls
