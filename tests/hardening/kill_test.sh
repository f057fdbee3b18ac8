#!/usr/bin/env bash
# Stops a batch with SIGKILL, SIGINT or SIGTERM at random moments while it converts large files,
# again and again, and checks after each stop that every file is byte for byte either its old
# content or its new one (never a mix), that every backup is either absent or a whole copy of
# the old content, and that SIGINT and SIGTERM end the run with 130 or 143 and leave no temporary
# file. A second batch then runs over the same files: afterwards every backup is still the old
# content and no temporary file is left. PNG files carry their writing time (tIME), which is left
# out of the comparison.
#
# Usage: tests/hardening/kill_test.sh [ROUNDS] [TESSIVAL_BATCH]
#   ROUNDS          how many kills (default 30)
#   TESSIVAL_BATCH  the command-line tool (default build/bin/tessival-batch)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
rounds=${1:-30}
batch=${2:-$root/build/bin/tessival-batch}
python=/usr/bin/python3
[ -x "$batch" ] || { echo "kill_test: no batch tool at $batch" >&2; exit 2; }
"$python" -c "import PIL" 2>/dev/null || { echo "kill_test: needs Debian's python3-pil" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tessival-kill.XXXXXX")
batch_pid=
cleanup() {
  [ -n "$batch_pid" ] && kill -9 "$batch_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The site: two large PNGs (one with alpha), a large GIF, a large stylesheet, small pages (1,200 of
# them in three folders, several groups put in place one after another).
mkdir -p "$work/old/img"
"$python" - "$work/old" <<'PY'
import os, random, sys
from PIL import Image
out = sys.argv[1]
rnd = random.Random(7)
def picture(w, h, mode):
    im = Image.new(mode, (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            c = ((x * 7 + y * 3) & 255, (x * y) & 255, rnd.randrange(256))
            px[x, y] = c + ((x + y) & 255,) if mode == 'RGBA' else c
    return im
picture(900, 700, 'RGB').save(out + '/img/photo.png')
picture(700, 600, 'RGBA').save(out + '/img/alpha.png')
picture(640, 480, 'RGB').convert('P', palette=Image.ADAPTIVE, colors=200).save(out + '/img/banner.gif')
with open(out + '/style.css', 'w') as f:
    for i in range(60000):
        f.write('.c%d{color:#%06x;background:rgb(%d,%d,%d)}\n' % (i, rnd.randrange(1 << 24), i % 256, (i * 7) % 256, 40))
for n in range(4):
    with open(out + '/page%d.html' % n, 'w') as f:
        f.write('<body bgcolor="#336699" text=white><font color=red>page %d</font></body>\n' % n)
# Enough small pages in a few folders for several groups to be put in place one after another.
for s in range(3):
    os.makedirs(out + '/news/%d' % s)
    for n in range(400):
        with open(out + '/news/%d/item%03d.html' % (s, n), 'w') as f:
            f.write('<html><head><style>h1{color:#%06x}</style></head>\n<body><h1 style="background:rgb(%d,%d,%d)">'
                    'item %d</h1><p><font color=navy>news</font></p></body></html>\n'
                    % (rnd.randrange(1 << 24), n % 256, (n * 3) % 256, s * 80, n))
PY

# The new content: one whole run on a copy.
cp -R "$work/old" "$work/new"
start=$(date +%s%N)
"$batch" --hue 120 "$work/new" >/dev/null
full_ms=$(( ($(date +%s%N) - start) / 1000000 ))

"$python" - "$work" "$rounds" "$batch" "$full_ms" <<'PY'
import os, random, shutil, signal, struct, subprocess, sys, time
work, rounds, batch, full_ms = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
old, new = os.path.join(work, 'old'), os.path.join(work, 'new')

def without_time(data):
    # PNG chunks without tIME; anything that does not parse as PNG is compared as it is.
    if not data.startswith(b'\x89PNG\r\n\x1a\n'):
        return data
    out, at = [data[:8]], 8
    while at + 12 <= len(data):
        n = struct.unpack('>I', data[at:at + 4])[0]
        chunk = data[at:at + 12 + n]
        if data[at + 4:at + 8] != b'tIME':
            out.append(chunk)
        at += 12 + n
    out.append(data[at:])
    return b''.join(out)

def content(path):
    with open(path, 'rb') as f:
        return without_time(f.read())

files = []
for folder, _, names in os.walk(old):
    for name in names:
        files.append(os.path.relpath(os.path.join(folder, name), old))
files.sort()
rng = random.Random(int(os.environ.get('TESSIVAL_KILL_SEED', '1')))
problems = 0
states = {'old': 0, 'new': 0}
strays = 0
for r in range(rounds):
    site = os.path.join(work, 'round')
    shutil.rmtree(site, ignore_errors=True)
    shutil.copytree(old, site, symlinks=True)
    proc = subprocess.Popen([batch, '--hue', '120', site], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sig = rng.choice([signal.SIGKILL, signal.SIGINT, signal.SIGTERM])
    time.sleep(rng.uniform(0, max(full_ms, 50) / 1000.0 * 1.1))
    proc.send_signal(sig)
    proc.wait()
    round_strays = [os.path.join(f, n) for f, _, names in os.walk(site) for n in names if '.tessival-' in n]
    if sig != signal.SIGKILL:
        if proc.returncode not in (0, 1, 128 + sig):
            problems += 1
            print('round %d: stopped by signal %d, the batch exited with %d' % (r + 1, sig, proc.returncode))
        if round_strays:
            problems += 1
            print('round %d: signal %d left temporary files %s' % (r + 1, sig, round_strays))
    for rel in files:
        now = content(os.path.join(site, rel))
        if now == content(os.path.join(old, rel)):
            states['old'] += 1
        elif now == content(os.path.join(new, rel)):
            states['new'] += 1
        else:
            problems += 1
            print('round %d: %s is neither its old nor its new content' % (r + 1, rel))
        backup = os.path.join(site, rel + '.bak')
        if os.path.lexists(backup) and content(backup) != content(os.path.join(old, rel)):
            problems += 1
            print('round %d: %s.bak is not a whole copy of the old content' % (r + 1, rel))
    strays += len(round_strays)
    # The next run over the same files removes the leftovers and keeps every backup the original.
    again = subprocess.run([batch, '--hue', '120', site], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    for rel in files:
        if content(os.path.join(site, rel + '.bak')) != content(os.path.join(old, rel)):
            problems += 1
            print('round %d: after the next run %s.bak is not the old content' % (r + 1, rel))
    left = [n for f, _, names in os.walk(site) for n in names if '.tessival-' in n]
    if left:
        problems += 1
        print('round %d: temporary files after the next run: %s' % (r + 1, left))
    if round_strays and b'\xe5\x89\x8a\xe9\x99\xa4> ' not in again.stdout:  # "削除> "
        problems += 1
        print('round %d: the next run did not say it removed %s' % (r + 1, round_strays))
shutil.rmtree(os.path.join(work, 'round'), ignore_errors=True)
print('kill_test: %d rounds, whole run %d ms; files found old %d times, new %d times; '
      '%d temporary file(s) left by killed runs and removed by the next; %d problem(s)'
      % (rounds, full_ms, states['old'], states['new'], strays, problems))
sys.exit(1 if problems else 0)
PY
