"""Running the tool as nobody from a test run as root, who may write to any
file: from any folder. The build folder may be one that only root can enter
(a clone under /root), so the tool is copied into a temporary folder that
anyone may enter, beside the tests' own temporary folders."""
import shutil
import tempfile
from pathlib import Path

AS_NOBODY = ('setpriv', '--reuid=65534', '--regid=65534', '--clear-groups', '--')


def runnable_by_nobody(test, program):
    """A copy of program that nobody may run, removed when test ends."""
    folder = Path(tempfile.mkdtemp(prefix='quorvix-nobody-'))
    test.addCleanup(shutil.rmtree, folder, True)
    folder.chmod(0o755)
    copy = folder / Path(program).name
    shutil.copy2(program, copy)
    return copy
