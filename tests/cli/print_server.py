"""A throwaway CUPS server and network label printers, for the label
printing tests.

Cups runs Debian's cupsd in the foreground on a Unix socket in a temporary
folder (as lp when the test runs as root, as cupsd's own packaging does), and
makes raw queues whose device is socket://127.0.0.1:PORT, which CUPS's own
socket backend sends each job to. LabelPrinter listens on such a port: it
answers ~HS with the status it is given, as a label printer does, and keeps
what each connection sent."""
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import threading
import time
from pathlib import Path

# A ready printer's answer to ~HS: three strings between STX and ETX. In the
# first, the second and third fields are paper out and pause; in the second,
# the third and fourth are head up and ribbon out.
FIRST = ['030', '0', '0', '0406', '000', '0', '0', '0', '000', '0', '0', '0']
SECOND = ['001', '0', '0', '0', '1', '2', '6', '0', '00000000', '1', '000']
THIRD = ['1234', '0']
FLAGS = {'paper out': (FIRST, 1), 'paused': (FIRST, 2), 'head open': (SECOND, 2), 'ribbon out': (SECOND, 3)}


def host_status(*reasons):
    """The ~HS answer of a printer with the reasons named (FLAGS' keys) set."""
    strings = [list(FIRST), list(SECOND), list(THIRD)]
    for reason in reasons:
        fields, at = FLAGS[reason]
        strings[[FIRST, SECOND, THIRD].index(fields)][at] = '1'
    return b''.join(b'\x02' + ','.join(fields).encode() + b'\x03\r\n' for fields in strings)


class LabelPrinter:
    """A network label printer on 127.0.0.1: each connection's bytes are kept
    in connections, whole once the sender closed. With status given, ~HS is
    answered with it (b'': never answered, as a printer that keeps silent;
    a list: one answer per connection, in turn); without, the bytes are only
    kept, as a printer behind a CUPS queue is only sent a job."""

    def __init__(self, status=None):
        self.status = status
        self.connections = []
        self.done = threading.Condition()
        self.listener = socket.create_server(('127.0.0.1', 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._take, args=(connection,), daemon=True).start()

    def _take(self, connection):
        received = b''
        with connection:
            connection.settimeout(30)
            try:
                if self.status is not None:
                    while b'~HS' not in received:
                        part = connection.recv(65536)
                        if not part:
                            break
                        received += part
                    answer = self.status.pop(0) if isinstance(self.status, list) else self.status
                    if b'~HS' in received and answer:
                        connection.sendall(answer)
                while part := connection.recv(65536):
                    received += part
            except OSError:
                pass
        with self.done:
            self.connections.append(received)
            self.done.notify_all()

    def wait_for(self, count, seconds=20):
        """The first count connections' bytes, once their senders closed."""
        with self.done:
            self.done.wait_for(lambda: len(self.connections) >= count, seconds)
            return list(self.connections)

    def close(self):
        self.listener.close()


class Cups:
    """cupsd in a temporary folder, stopped by remove()."""

    def __init__(self):
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-cups-'))
        self.socket = self.folder / 'cups.sock'
        for name in ('spool', 'cache', 'state', 'temp', 'log'):
            (self.folder / name).mkdir()
        (self.folder / 'cupsd.conf').write_text(f'''Listen {self.socket}
LogLevel info
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
''')
        (self.folder / 'cups-files.conf').write_text(f'''ServerRoot {self.folder}
RequestRoot {self.folder}/spool
CacheDir {self.folder}/cache
StateDir {self.folder}/state
TempDir {self.folder}/temp
AccessLog {self.folder}/log/access_log
ErrorLog {self.folder}/log/error_log
PageLog {self.folder}/log/page_log
Printcap {self.folder}/printcap
ServerBin /usr/lib/cups
DataDir /usr/share/cups
''')
        user = {}
        if os.geteuid() == 0:  # cupsd's backends must not run as root
            lp = pwd.getpwnam('lp')
            user = {'user': lp.pw_uid, 'group': lp.pw_gid}
            for path in [self.folder, *self.folder.rglob('*')]:
                os.chown(path, lp.pw_uid, lp.pw_gid)
        self.folder.chmod(0o755)
        self.env = {**os.environ, 'CUPS_SERVER': str(self.socket)}
        self.process = subprocess.Popen(
            ['/usr/sbin/cupsd', '-f', '-c', self.folder / 'cupsd.conf', '-s', self.folder / 'cups-files.conf'],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **user)
        deadline = time.monotonic() + 20
        # lpstat -r exits 0 either way: its words tell.
        while subprocess.run(['lpstat', '-r'], env=self.env, capture_output=True,
                             text=True).stdout.strip() != 'scheduler is running':
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.remove()
                raise RuntimeError(f'cupsd did not start: {self.log()}')
            time.sleep(0.1)

    def log(self):
        path = self.folder / 'log' / 'error_log'
        return path.read_text(errors='replace') if path.exists() else ''

    def queue(self, name, port):
        """A raw queue whose device is the label printer on port."""
        made = subprocess.run(['lpadmin', '-p', name, '-E', '-v', f'socket://127.0.0.1:{port}', '-m', 'raw'],
                              env=self.env, capture_output=True, text=True)
        if made.returncode != 0:
            raise RuntimeError(f'lpadmin: {made.stderr}{self.log()}')

    def run(self, *args):
        return subprocess.run(args, env=self.env, check=True, capture_output=True)

    def remove(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.folder, True)
