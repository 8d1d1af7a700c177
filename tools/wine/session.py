#!/usr/bin/env python3
"""Starts and stops what the end-to-end tests share: a virtual X display and a
Wine prefix kept inside the build folder.

    session.py start STATE_DIR [SHOTS]   # Xvfb up, prefix ready, display noted; old screenshots gone
    session.py stop STATE_DIR            # Wine and Xvfb gone
    session.py prefix STATE_DIR          # only the prefix, for the display in $DISPLAY
    session.py env STATE_DIR DISPLAY     # the environment for Wine, as shell exports
"""
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

from probe_client import WINE, wine_program

ROOT = Path(__file__).resolve().parents[2]

WINESERVER = wine_program('wineserver', 'QUORVIX_WINESERVER')
CJK_FONT = 'wqy-microhei.ttc,WenQuanYi Micro Hei'


def ia32_mode():
    """How 32-bit programs, and so the i686 exes, run here: native, emulated
    or none; and why (tools/ia32_mode.sh)."""
    said = subprocess.run([str(ROOT / 'tools' / 'ia32_mode.sh')], capture_output=True, text=True,
                          timeout=120).stdout.strip()
    mode, _, why = said.partition(' ')
    return mode, why


def wine_env(state: Path, display: str) -> dict:
    env = dict(os.environ)
    env.update({
        'WINEPREFIX': str(state / 'wine-prefix'),
        'WINEDEBUG': '-all',
        'WINEDLLOVERRIDES': 'mscoree,mshtml=',  # no Mono or Gecko prompts
        'DISPLAY': display,
        'LC_ALL': 'C.UTF-8',  # Wine needs it for Unicode file names
    })
    return env


def run_wine(env, *args):
    subprocess.run([WINE, *args], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True, timeout=300)


def set_reg(env, key, name, kind, value):
    run_wine(env, 'reg', 'add', key, '/v', name, '/t', kind, '/d', value, '/f')


def prepare_prefix(env, prefix: Path, dpi: int):
    wow64 = prefix / 'drive_c' / 'windows' / 'syswow64' / 'kernel32.dll'
    if (prefix / 'system.reg').exists() and not wow64.exists() and ia32_mode()[0] != 'none':
        shutil.rmtree(prefix)  # made while 32-bit programs could not run here: it lacks their half
    if not (prefix / 'system.reg').exists():
        run_wine(env, 'wineboot', '-i')
    # Wine draws the frames itself (there is no window manager) and so does not
    # stall for seconds whenever a window closes.
    set_reg(env, r'HKCU\Software\Wine\X11 Driver', 'Managed', 'REG_SZ', 'N')
    set_reg(env, r'HKCU\Control Panel\Desktop', 'LogPixels', 'REG_DWORD', str(dpi))
    # Chinese text in Tahoma and in dialogs comes from the CJK font, as font
    # linking brings it on Windows.
    links = r'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
    for face in ('Tahoma', 'Tahoma Bold', 'Microsoft Sans Serif', 'MS Shell Dlg', 'MS Shell Dlg 2', 'Segoe UI'):
        set_reg(env, links, face, 'REG_MULTI_SZ', CJK_FONT)
    fonts = prefix / 'drive_c' / 'windows' / 'Fonts'
    for font in Path('/usr/share/wine/fonts').glob('*.ttf'):
        if not (fonts / font.name).exists():
            shutil.copy(font, fonts / font.name)
    subprocess.run([WINESERVER, '-w'], env=env, timeout=60)


def start(state: Path):
    stop(state)
    state.mkdir(parents=True, exist_ok=True)
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
                            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number:
        sys.exit('Xvfb did not start')
    display = ':' + number
    (state / 'xvfb.pid').write_text(str(xvfb.pid))
    (state / 'display').write_text(display)
    dpi = int(os.environ.get('QUORVIX_E2E_DPI', '96'))
    prepare_prefix(wine_env(state, display), state / 'wine-prefix', dpi)
    print(f'display {display}, Wine prefix {state / "wine-prefix"}, {dpi} DPI')


def stop(state: Path):
    if (state / 'display').exists():
        env = wine_env(state, (state / 'display').read_text())
        subprocess.run([WINESERVER, '-k'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        (state / 'display').unlink()
    pid_file = state / 'xvfb.pid'
    if pid_file.exists():
        try:
            os.kill(int(pid_file.read_text()), signal.SIGTERM)
            time.sleep(0.2)
        except ProcessLookupError:
            pass
        pid_file.unlink()


if __name__ == '__main__':
    action, folder = sys.argv[1], Path(sys.argv[2]).resolve()
    if action == 'start':
        if len(sys.argv) > 3:
            shutil.rmtree(sys.argv[3], ignore_errors=True)
        start(folder)
    elif action == 'stop':
        stop(folder)
    elif action == 'prefix':
        folder.mkdir(parents=True, exist_ok=True)
        prepare_prefix(wine_env(folder, os.environ['DISPLAY']), folder / 'wine-prefix', 96)
    elif action == 'env':
        for name in ('WINEPREFIX', 'WINEDEBUG', 'WINEDLLOVERRIDES', 'DISPLAY', 'LC_ALL'):
            print(f"export {name}='{wine_env(folder, sys.argv[3])[name]}'")
    else:
        sys.exit(__doc__)
