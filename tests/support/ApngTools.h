#pragma once
// Animated PNGs made and taken apart in Python, for the PNG codec's tests and the batch's:
// every chunk written by hand (so that broken ones can be made too), frames read back as
// Debian's PIL composes them.

#include "support/TestSupport.h"

#include <string>

namespace testsupport {

inline constexpr const char* ApngTools = R"(
import struct, zlib
from PIL import Image, ImageSequence

def chunk(t, d):
    return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)

CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}

# The image data of W x H pixels (tuples of samples, or single samples), each row filtered
# with filter None.
def image_data(w, h, depth, pixels):
    out = bytearray()
    for y in range(h):
        samples = [s for p in pixels[y * w:(y + 1) * w] for s in (p if isinstance(p, tuple) else (p,))]
        out.append(0)
        if depth == 8:
            out += bytes(samples)
        elif depth == 16:
            out += b''.join(struct.pack('>H', s) for s in samples)
        else:
            acc = bits = 0
            for s in samples:
                acc, bits = acc << depth | s, bits + depth
                if bits == 8:
                    out.append(acc)
                    acc = bits = 0
            if bits:
                out.append(acc << (8 - bits))
    return zlib.compress(bytes(out))

def frame(w, h, pixels, x=0, y=0, delay=(1, 10), dispose=0, blend=0):
    return dict(w=w, h=h, pixels=pixels, x=x, y=y, delay=delay, dispose=dispose, blend=blend)

# The chunks (type, data) of an animation. default: the pixels of a default image outside the
# animation (None: the first frame is the default image). pieces: data chunks per image.
def apng_chunks(width, height, colour_type, depth, frames, plte=None, trns=None, bkgd=None, default=None,
                plays=0, before=(), after=(), pieces=1, count=None):
    cs = [(b'IHDR', struct.pack('>IIBBBBB', width, height, depth, colour_type, 0, 0, 0))]
    cs += list(before)
    cs.append((b'acTL', struct.pack('>II', len(frames) if count is None else count, plays)))
    if plte is not None:
        cs.append((b'PLTE', bytes(c for rgb in plte for c in rgb)))
    if trns is not None:
        cs.append((b'tRNS', trns))
    if bkgd is not None:
        cs.append((b'bKGD', bkgd))
    seq = 0
    def control(f):
        nonlocal seq
        seq += 1
        return (b'fcTL', struct.pack('>IIIIIHHBB', seq - 1, f['w'], f['h'], f['x'], f['y'], f['delay'][0],
                                     f['delay'][1], f['dispose'], f['blend']))
    def split(data):
        n = max(1, (len(data) + pieces - 1) // pieces)
        return [data[i:i + n] for i in range(0, len(data), n)]
    rest = frames
    if default is not None:
        cs += [(b'IDAT', d) for d in split(image_data(width, height, depth, default))]
    else:
        cs.append(control(frames[0]))
        cs += [(b'IDAT', d) for d in split(image_data(frames[0]['w'], frames[0]['h'], depth, frames[0]['pixels']))]
        rest = frames[1:]
    for f in rest:
        cs.append(control(f))
        for d in split(image_data(f['w'], f['h'], depth, f['pixels'])):
            cs.append((b'fdAT', struct.pack('>I', seq) + d))
            seq += 1
    cs += list(after)
    cs.append((b'IEND', b''))
    return cs

def write_png(path, cs):
    open(path, 'wb').write(b'\x89PNG\r\n\x1a\n' + b''.join(chunk(t, d) for t, d in cs))

def apng(path, *args, **kw):
    write_png(path, apng_chunks(*args, **kw))

def read_chunks(path):
    d = open(path, 'rb').read()
    p, out = 8, []
    while p + 8 <= len(d):
        n = struct.unpack('>I', d[p:p + 4])[0]
        out.append((d[p + 4:p + 8], d[p + 8:p + 8 + n]))
        p += 12 + n
    return out

# The chunks of a file, one word each, a run of data chunks as one (their number may change):
# fcTL with its frame (size, offset, delay, dispose, blend), acTL with frames and plays.
def layout(path):
    words = []
    for t, d in read_chunks(path):
        if t == b'fcTL':
            words.append('fcTL %dx%d+%d+%d %d/%d %d %d' % struct.unpack('>IIIIHHBB', d[4:]))
        elif t == b'acTL':
            words.append('acTL %d %d' % struct.unpack('>II', d))
        elif t in (b'IDAT', b'fdAT'):
            if not words or words[-1] != t.decode() + '*':
                words.append(t.decode() + '*')
        else:
            words.append(t.decode())
    return ' '.join(words)

# Whether the sequence numbers of fcTL and fdAT run 0, 1, 2 ... in file order.
def sequence_ok(path):
    numbers = [struct.unpack('>I', d[:4])[0] for t, d in read_chunks(path) if t in (b'fcTL', b'fdAT')]
    return numbers == list(range(len(numbers)))

# Every frame as PIL composes it (RGBA pixels), with its duration, disposal and blend, and the
# number of frames and plays.
def composed(path):
    im = Image.open(path)
    frames = [(list(f.convert('RGBA').getdata()), f.info.get('duration'), f.info.get('disposal'), f.info.get('blend'))
              for f in ImageSequence.Iterator(im)]
    return frames, im.n_frames, im.info.get('loop')
)";

// Runs Script after the tools with Debian's Python, in Folder; its output, or "FAILED" and
// what went wrong.
inline std::string ApngPython(const std::string& Folder, const std::string& Script)
{
    TTempDir dir("py");
    WriteFile(dir / "script.py", std::string("import os\nos.chdir(") + "'" + Folder + "')\n" + ApngTools + Script);
    std::string out;
    const int status = RunCommand(std::string(PythonProgram) + " " + (dir / "script.py") + " 2>&1", &out);
    return status == 0 ? out : "FAILED " + out;
}

}  // namespace testsupport
