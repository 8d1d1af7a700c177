"""A throwaway PostgreSQL 15 cluster for the ledger tests: made in a
temporary folder, listening on a free loopback port with SCRAM passwords, run
as the postgres user when the tests run as root (the server refuses root),
and removed when stopped. With tls, it speaks TLS only, with a certificate
for 127.0.0.1 from a throwaway CA of its own (ca.pem in its folder);
settings are more of the server's (name=value). standby() makes a streaming
standby of a cluster on loopback (pg_basebackup -R, as a replication role),
synchronous when asked; promote() makes a standby a primary, and
stop('immediate') stops a cluster as in a crash.

Removing it also removes the logs psqlODBC left in /tmp for the tool's
connections meanwhile: Debian registers the driver with CommLog=1, one file
per connection."""
import glob
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import time
from pathlib import Path

BIN = Path('/usr/lib/postgresql/15/bin')
ROLE, PASSWORD = 'line', 's3cret'
REPLICATOR = 'replicator'  # the standbys' role, with PASSWORD


def driver_logs():
    """psqlODBC's logs of the tool's connections, named for the program (the tool, or Wine's loader), user and
    process."""
    return {*glob.glob('/tmp/psqlodbc_quorvix-cli*.log'), *glob.glob('/tmp/psqlodbc_wine*.log')}


def make_ca(folder: Path, name: str):
    """A CA's certificate and key, folder/name.pem and folder/name.key."""
    subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '2', '-subj', f'/CN={name}',
                    '-keyout', folder / f'{name}.key', '-out', folder / f'{name}.pem'], check=True, capture_output=True)


class Postgres:
    def __init__(self, tls=False, settings=(), primary=None):
        """A new cluster; with primary, a standby of that one, which streams from it as its settings'
        cluster_name."""
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-postgres-'))
        self.driver_logs = driver_logs()
        self.data, self.log = self.folder / 'data', self.folder / 'server.log'
        with socket.socket() as probe:
            probe.bind(('127.0.0.1', 0))
            self.port = probe.getsockname()[1]
        self.tls, self.settings = tls, settings
        if tls:
            self.make_certificates()
        self.as_user = []
        if os.geteuid() == 0:
            owner = pwd.getpwnam('postgres')
            for path in [self.folder, *self.folder.iterdir()]:
                os.chown(path, owner.pw_uid, owner.pw_gid)
            self.as_user = ['runuser', '-u', 'postgres', '--']
        if primary:
            # A fast checkpoint: a spread one naps between writes, minutes for a busy primary.
            self.run(BIN / 'pg_basebackup', '-D', self.data, '-R', '-X', 'stream', '--checkpoint=fast', '--no-sync',
                     '-d', f'host=127.0.0.1 port={primary.port} user={REPLICATOR} password={PASSWORD}')
            self.start()
            return
        self.run(BIN / 'initdb', '-D', self.data, '-U', 'postgres', '--auth-local=trust',
                 '--auth-host=scram-sha-256', '--no-sync')
        if tls:  # TLS or nothing
            hba = self.data / 'pg_hba.conf'
            self.run('sed', '-i', 's/^host /hostssl /', hba)
        self.start()
        self.sql(f"CREATE ROLE {ROLE} LOGIN PASSWORD '{PASSWORD}'")
        self.sql(f"CREATE ROLE reader LOGIN PASSWORD '{PASSWORD}'")  # granted only what a test grants

    def standby(self, name, synchronous=False):
        """A streaming standby of this cluster, named name to it; with synchronous, this cluster waits
        for it on every commit (synchronous_standby_names)."""
        self.sql(f"DO $$ BEGIN IF to_regrole('{REPLICATOR}') IS NULL THEN "
                 f"CREATE ROLE {REPLICATOR} REPLICATION LOGIN PASSWORD '{PASSWORD}'; END IF; END $$")
        standby = Postgres(settings=(f'cluster_name={name}',), primary=self)
        if synchronous:
            self.sql(f"ALTER SYSTEM SET synchronous_standby_names = '{name}'")
            self.sql('SELECT pg_reload_conf()')
        self.wait_for(f"SELECT count(*) FROM pg_stat_replication WHERE application_name = '{name}' "
                      f"AND state = 'streaming'", '1')
        return standby

    def promote(self):
        self.run(BIN / 'pg_ctl', '-D', self.data, '-w', 'promote')

    def wait_for(self, query, rows, seconds=30, database='postgres'):
        """Until query's rows are rows (as text)."""
        deadline = time.monotonic() + seconds
        while (got := self.sql(query, database).strip()) != rows:
            if time.monotonic() > deadline:
                raise AssertionError(f'{query}: {got!r}, not {rows!r}, after {seconds} s')
            time.sleep(0.1)

    def make_certificates(self):
        make_ca(self.folder, 'ca')
        key, request, certificate = (self.folder / f'server.{kind}' for kind in ('key', 'csr', 'crt'))
        subprocess.run(['openssl', 'req', '-newkey', 'rsa:2048', '-nodes', '-subj', '/CN=127.0.0.1', '-keyout', key,
                        '-out', request], check=True, capture_output=True)
        extensions = self.folder / 'san.ext'
        extensions.write_text('subjectAltName=IP:127.0.0.1\n')
        subprocess.run(['openssl', 'x509', '-req', '-in', request, '-CA', self.folder / 'ca.pem', '-CAkey',
                        self.folder / 'ca.key', '-CAcreateserial', '-days', '2', '-extfile', extensions, '-out',
                        certificate], check=True, capture_output=True)
        key.chmod(0o600)

    def run(self, *args):
        subprocess.run([*self.as_user, *map(str, args)], check=True, capture_output=True, timeout=120)

    def start(self):
        options = f'-p {self.port} -k {self.folder} -c listen_addresses=127.0.0.1'
        options += ''.join(f' -c {setting}' for setting in self.settings)
        if self.tls:
            options += f' -c ssl=on -c ssl_cert_file={self.folder}/server.crt -c ssl_key_file={self.folder}/server.key'
        self.run(BIN / 'pg_ctl', '-D', self.data, '-l', self.log, '-o', options, '-w', 'start')

    def stop(self, mode='fast'):
        self.run(BIN / 'pg_ctl', '-D', self.data, '-m', mode, '-w', 'stop')

    def sql(self, statement, database='postgres'):
        """Runs statement as the superuser; its rows as text."""
        result = subprocess.run([*self.as_user, 'psql', '-h', str(self.folder), '-p', str(self.port), '-U',
                                 'postgres', '-d', database, '-XAtq', '-v', 'ON_ERROR_STOP=1', '-c', statement],
                                check=True, capture_output=True, text=True, timeout=120)
        return result.stdout

    def sql_as(self, role, statement, database):
        """Runs statement as a role, over the local socket; its rows as text."""
        result = subprocess.run([*self.as_user, 'psql', '-h', str(self.folder), '-p', str(self.port), '-U', role,
                                 '-d', database, '-XAtq', '-v', 'ON_ERROR_STOP=1', '-c', statement],
                                check=True, capture_output=True, text=True, timeout=120)
        return result.stdout

    def database(self, name, owner=ROLE):
        """A new, empty database and the URL that reaches it as its owner."""
        self.sql(f'CREATE DATABASE {name} OWNER {owner}')
        return self.url(name)

    def url(self, database, role=ROLE, password=PASSWORD, query=''):
        """The URL of a database; without the password when it is None."""
        credentials = role if password is None else f'{role}:{password}'
        return f'postgresql://{credentials}@127.0.0.1:{self.port}/{database}{query}'

    def remove(self):
        try:
            self.stop('immediate')
        except subprocess.CalledProcessError:
            pass  # stopped already, as a test's crash does
        finally:
            shutil.rmtree(self.folder, ignore_errors=True)
            for log in driver_logs() - self.driver_logs:
                Path(log).unlink(missing_ok=True)  # another server's test may have taken it
