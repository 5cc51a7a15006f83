// Colours and images as pxtool gives them, compared with what poppler's
// pdftoppm and mutool render at 72 dpi from documents written by Python.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "PdfGuiTestSupport.h"
#include "support/TempDir.h"

namespace px {
namespace {

// Writes the documents, renders them with both peers, asks pxtool and
// compares; prints one line "FAIL ..." per disagreement and "done N" at the end.
const char* const Script = R"py(
import os, random, struct, subprocess, sys, zlib
pxtool, folder = sys.argv[1], sys.argv[2]
fails, checks = [], 0

def pdf(path, pages, extra=None):
    """pages: (width, height, resources, content); extra: further objects (text, data or None) numbered from 100."""
    objs = {}
    kids = []
    n = 3
    for w, h, res, content in pages:
        objs[n] = (b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 %d %d]/Resources %s/Contents %d 0 R>>" % (w, h, res, n + 1), None)
        objs[n + 1] = (b"<<>>", content)
        kids.append(n)
        n += 2
    objs[1] = (b"<</Type/Catalog/Pages 2 0 R>>", None)
    objs[2] = (b"<</Type/Pages/Count %d/Kids[%s]>>" % (len(kids), b" ".join(b"%d 0 R" % k for k in kids)), None)
    for k, v in (extra or {}).items():
        objs[k] = v
    out = b"%PDF-1.5\n"
    offsets = {}
    for k in sorted(objs):
        text, data = objs[k]
        offsets[k] = len(out)
        if data is None:
            out += b"%d 0 obj\n%s\nendobj\n" % (k, text)
        else:
            out += b"%d 0 obj\n%s/Length %d>>\nstream\n%s\nendstream\nendobj\n" % (k, text[:-2], len(data), data)
    size = max(objs) + 1
    xref = len(out)
    out += b"xref\n0 %d\n" % size
    for k in range(size):
        out += b"%010d 00000 n \n" % offsets[k] if k in offsets else b"0000000000 65535 f \n"
    out += b"trailer\n<</Size %d/Root 1 0 R>>\nstartxref\n%d\n%%%%EOF\n" % (size, xref)
    open(path, "wb").write(out)

def read_pnm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace(): pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace(): end += 1
        fields.append(data[pos:end]); pos = end
    w, h = int(fields[1]), int(fields[2])
    pix = data[pos + 1:]
    return w, h, [tuple(pix[3 * (y * w + x):3 * (y * w + x) + 3]) for y in range(h) for x in range(w)]

def read_pam(path):
    data = open(path, "rb").read()
    head, pix = data.split(b"ENDHDR\n", 1)
    vals = dict(line.split(b" ", 1) for line in head.split(b"\n")[1:] if b" " in line)
    w, h = int(vals[b"WIDTH"]), int(vals[b"HEIGHT"])
    return w, h, [tuple(pix[4 * i:4 * i + 4]) for i in range(w * h)]

def render(path, page, scale=1):
    subprocess.run(["pdftoppm", "-r", str(72 * scale), "-f", str(page), "-l", str(page), path, path + ".pp"], check=True)
    pp = [f for f in os.listdir(folder) if f.startswith(os.path.basename(path) + ".pp")][0]
    w, h, pixels = read_pnm(os.path.join(folder, pp))
    os.remove(os.path.join(folder, pp))
    # At a scale, the centre pixel of each block stands for the page pixel.
    poppler = (w // scale, h // scale, [pixels[(scale * y + scale // 2) * w + scale * x + scale // 2]
                                        for y in range(h // scale) for x in range(w // scale)])
    subprocess.run(["mutool", "draw", "-q", "-r", "72", "-c", "rgb", "-o", path + ".mu.pnm", path, str(page)], check=True,
                   capture_output=True)
    return poppler, read_pnm(path + ".mu.pnm")

def close(a, b, tolerance=2):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))

def pxcolor(path, space, values):
    r = subprocess.run([pxtool, "pdf", "color", path, "1", space] + values.split(), capture_output=True, text=True)
    if r.returncode != 0:
        return None
    return tuple(int(v) for v in r.stdout.split())

# Poppler interpolates images drawn at less than four times their size, so
# images are compared with its render at 288 dpi, sampled in the middle of
# every 4 x 4 block; mutool draws them at 72 dpi as they are.

# --- Colours -----------------------------------------------------------------
def f_lin(u): return u ** 3 if u >= 6 / 29 else (u - 4 / 29) * 108 / 841
def lab(L, a, b):
    t = (L + 16) / 116
    X, Y, Z = 0.9505 * f_lin(t + a / 500), f_lin(t), 1.089 * f_lin(t - b / 200)
    lin = (3.24071 * X - 1.53726 * Y - 0.498571 * Z, -0.969258 * X + 1.87599 * Y + 0.0415557 * Z,
           0.0556352 * X - 0.203996 * Y + 1.05707 * Z)
    srgb = [12.92 * v if v < 0.0031308 else 1.055 * v ** (1 / 2.4) - 0.055 for v in lin]
    return tuple(min(255, max(0, round(v * 255))) for v in srgb)
def cmyk(c, m, y, k):
    r = (c * (-4.387332384609988 * c + 54.48615194189176 * m + 18.82290502165302 * y + 212.25662451639585 * k
              - 285.2331026137004) + m * (1.7149763477362134 * m - 5.6096736904047315 * y - 17.873870861415444 * k
              - 5.497006427196366) + y * (-2.5217340131683033 * y - 21.248923337353073 * k + 17.5119270841813)
         + k * (-21.86122147463605 * k - 189.48180835922747) + 255)
    g = (c * (8.841041422036149 * c + 60.118027045597366 * m + 6.871425592049007 * y + 31.159100130055922 * k
              - 79.2970844816548) + m * (-15.310361306967817 * m + 17.575251261109482 * y + 131.35250912493976 * k
              - 190.9453302588951) + y * (4.444339102852739 * y + 9.8632861493405 * k - 24.86741582555878)
         + k * (-20.737325471181034 * k - 187.80453709719578) + 255)
    b = (c * (0.8842522430003296 * c + 8.078677503112928 * m + 30.89978309703729 * y - 0.23883238689178934 * k
              - 14.183576799673286) + m * (10.49593273432072 * m + 63.02378494754052 * y + 50.606957656360734 * k
              - 112.23884253719248) + y * (0.03296041114873217 * y + 115.60384449646641 * k - 193.58209356861505)
         + k * (-22.33816807309886 * k - 180.12613974708367) + 255)
    return tuple(min(255, max(0, round(v))) for v in (r, g, b))

profile = b"not a real profile"
extra = {
    100: (b"<</N 1>>", profile), 101: (b"<</N 3>>", profile), 102: (b"<</N 4>>", profile),
    103: (b"<</FunctionType 0/Domain[0 1]/Range[0 1 0 1 0 1]/Size[2]/BitsPerSample 8>>", bytes([255, 200, 0, 0, 50, 255])),
    104: (b"<</FunctionType 4/Domain[0 1]/Range[0 1 0 1 0 1]>>", b"{ dup 0.5 mul exch 1 exch sub 0.25 }"),
    105: (b"<</FunctionType 4/Domain[0 1 0 1]/Range[0 1]>>", b"{ add 2 div }"),
    106: (b"<</FunctionType 0/Domain[0 1]/Range[0 1]/Size[3]/BitsPerSample 8>>", bytes([0, 40, 255])),
}
spaces = [
    # name, colour-space object, operands, expected (None: the peers)
    # Poppler manages CalRGB colours; here CalRGB is RGB, as mutool draws it.
    ("CalRGB", b"[/CalRGB<</WhitePoint[0.9505 1 1.089]>>]", "0.2 0.6 0.9", "mutool"),
    ("Icc1", b"[/ICCBased 100 0 R]", "0.3", None),
    ("Icc3", b"[/ICCBased 101 0 R]", "0.7 0.1 0.4", None),
    ("Icc4", b"[/ICCBased 102 0 R]", "0.1 0.5 0.2 0.1", cmyk(0.1, 0.5, 0.2, 0.1)),
    ("Indexed", b"[/Indexed/DeviceRGB 2<102030 C08040 00FF7F>]", "1", None),
    ("SepGray2", b"[/Separation/Spot/DeviceGray<</FunctionType 2/Domain[0 1]/C0[1]/C1[0]/N 1>>]", "0.3", None),
    ("SepRGB2", b"[/Separation/Spot/DeviceRGB<</FunctionType 2/Domain[0 1]/C0[1 1 1]/C1[0.2 0.4 0.9]/N 1>>]", "0.6", None),
    ("SepRGB0", b"[/Separation/Spot/DeviceRGB 103 0 R]", "0.25", None),
    ("SepGray0", b"[/Separation/Spot/DeviceGray 106 0 R]", "0.75", None),
    ("SepRGB4", b"[/Separation/Spot/DeviceRGB 104 0 R]", "0.4", None),
    ("NGray4", b"[/DeviceN[/A/B]/DeviceGray 105 0 R]", "0.2 0.6", None),
    ("NRGB2", b"[/DeviceN[/A]/DeviceRGB<</FunctionType 2/Domain[0 1]/C0[0 0 1]/C1[1 0.5 0]/N 2>>]", "0.5", None),
    ("Lab", b"[/Lab<</WhitePoint[0.9505 1 1.089]/Range[-100 100 -100 100]>>]", "60 20 -30", lab(60, 20, -30)),
    ("CMYK", b"/DeviceCMYK", "0.3 0.2 0.6 0.05", cmyk(0.3, 0.2, 0.6, 0.05)),
]
resources = b"<</ColorSpace<<" + b"".join(b"/%s %s" % (s[0].encode(), s[1]) for s in spaces) + b">>>>"
content = b""
for k, (name, obj, values, expected) in enumerate(spaces):
    content += b"/%s cs %s scn %d 0 20 20 re f\n" % (name.encode(), values.encode(), 20 * k)
colours = os.path.join(folder, "colours.pdf")
pdf(colours, [(20 * len(spaces), 20, resources, content)], extra)
(pw, ph, poppler), (mw, mh, mupdf) = render(colours, 1)
for k, (name, obj, values, expected) in enumerate(spaces):
    at = 10 * pw + 20 * k + 10
    ours = pxcolor(colours, "/" + name, values)
    checks += 1
    if expected == "mutool":
        if ours is None or not close(ours, mupdf[at]):
            fails.append("colour %s: ours %s, mutool %s" % (name, ours, mupdf[at]))
        continue
    if expected is not None:
        if ours is None or not close(ours, expected, 1):
            fails.append("colour %s: ours %s, formula %s" % (name, ours, expected))
        continue
    if ours is None or not close(ours, poppler[at]):
        fails.append("colour %s: ours %s, pdftoppm %s" % (name, ours, poppler[at]))
    if close(poppler[at], mupdf[at]) and ours is not None and not close(ours, mupdf[at]):
        fails.append("colour %s: ours %s, mutool %s" % (name, ours, mupdf[at]))

# --- Images ------------------------------------------------------------------
rnd = random.Random(7)
def samples(n): return bytes(rnd.randrange(256) for _ in range(n))
def rows(w, h, bits, comps=1): return samples(((w * bits * comps + 7) // 8) * h)
images = [
    # name, width, height, dictionary, data, extra objects, loose
    ("gray1", 13, 5, b"/ColorSpace/DeviceGray/BitsPerComponent 1", rows(13, 5, 1), {}, False),
    ("gray2", 7, 4, b"/ColorSpace/DeviceGray/BitsPerComponent 2", rows(7, 4, 2), {}, False),
    ("gray4", 5, 3, b"/ColorSpace/DeviceGray/BitsPerComponent 4", rows(5, 3, 4), {}, False),
    ("gray8", 3, 3, b"/ColorSpace/DeviceGray/BitsPerComponent 8", rows(3, 3, 8), {}, False),
    # RGB below and above 8 bits a component (groff's manual has a 4-bit one).
    ("rgb1", 11, 3, b"/ColorSpace/DeviceRGB/BitsPerComponent 1", rows(11, 3, 1, 3), {}, False),
    ("rgb2", 7, 3, b"/ColorSpace/DeviceRGB/BitsPerComponent 2", rows(7, 3, 2, 3), {}, False),
    ("rgb4", 5, 4, b"/ColorSpace/DeviceRGB/BitsPerComponent 4", rows(5, 4, 4, 3), {}, False),
    ("rgb4Decode", 5, 2, b"/ColorSpace/DeviceRGB/BitsPerComponent 4/Decode[1 0 0 1 0 1]", rows(5, 2, 4, 3), {}, False),
    ("rgb16", 3, 2, b"/ColorSpace/DeviceRGB/BitsPerComponent 16", rows(3, 2, 16, 3), {}, False),
    ("rgbDecode", 5, 4, b"/ColorSpace/DeviceRGB/BitsPerComponent 8/Decode[1 0 0 1 1 0]", rows(5, 4, 8, 3), {}, False),
    ("indexed1", 11, 3, b"/ColorSpace[/Indexed/DeviceRGB 1<FF0000 0000FF>]/BitsPerComponent 1", rows(11, 3, 1), {}, False),
    ("indexed2", 9, 3, b"/ColorSpace[/Indexed/DeviceRGB 3<FF0000 00FF00 0000FF 808080>]/BitsPerComponent 2",
     rows(9, 3, 2), {}, False),
    ("indexed4", 7, 3, b"/ColorSpace[/Indexed/DeviceRGB 15<" + samples(48).hex().encode() + b">]/BitsPerComponent 4",
     rows(7, 3, 4), {}, False),
    ("indexed8", 5, 3, b"/ColorSpace[/Indexed/DeviceRGB 255<" + samples(768).hex().encode() + b">]/BitsPerComponent 8",
     rows(5, 3, 8), {}, False),
    ("decode1", 10, 3, b"/ColorSpace/DeviceGray/BitsPerComponent 1/Decode[1 0]", rows(10, 3, 1), {}, False),
    ("stencil", 12, 4, b"/ImageMask true", rows(12, 4, 1), {}, False),
    ("smask", 6, 4, b"/ColorSpace/DeviceRGB/BitsPerComponent 8/SMask 200 0 R", rows(6, 4, 8, 3),
     {200: (b"<</Type/XObject/Subtype/Image/Width 6/Height 4/ColorSpace/DeviceGray/BitsPerComponent 8>>",
            rows(6, 4, 8))}, False),
    ("smask2x", 4, 3, b"/ColorSpace/DeviceRGB/BitsPerComponent 8/SMask 201 0 R", rows(4, 3, 8, 3),
     {201: (b"<</Type/XObject/Subtype/Image/Width 8/Height 6/ColorSpace/DeviceGray/BitsPerComponent 8>>",
            bytes(255 if x < 4 else 60 for y in range(6) for x in range(8)))}, True),
]
for name, w, h, dictionary, data, more, loose in images:
    path = os.path.join(folder, name + ".pdf")
    objs = {300: (b"<</Type/XObject/Subtype/Image/Width %d/Height %d%s>>" % (w, h, dictionary), data)}
    objs.update(more)
    pdf(path, [(w, h, b"<</XObject<</Im 300 0 R>>>>", b"q %d 0 0 %d 0 0 cm /Im Do Q" % (w, h))], objs)
    pam = path + ".pam"
    r = subprocess.run([pxtool, "pdf", "image", path, "1", "Im", pam], capture_output=True, text=True)
    checks += 1
    if r.returncode != 0:
        fails.append("image %s: pxtool failed: %s" % (name, r.stderr))
        continue
    aw, ah, ours = read_pam(pam)
    # Over white: premultiplied colour plus what the alpha leaves of white.
    ours = [tuple(min(255, c + 255 - p[3]) for c in p[:3]) for p in ours]
    (pw, ph, poppler), (mw, mh, mupdf) = render(path, 1, 4)
    if loose:
        # The mask is stretched onto the image: compare the averages.
        ours_avg = [sum(p[i] for p in ours) / len(ours) for i in range(3)]
        for peer, pixels in (("pdftoppm", poppler), ("mutool", mupdf)):
            avg = [sum(p[i] for p in pixels) / len(pixels) for i in range(3)]
            if not close(ours_avg, avg, 12):
                fails.append("image %s: average %s, %s %s" % (name, ours_avg, peer, avg))
        continue
    if (aw, ah) != (pw, ph) or (aw, ah) != (w, h):
        fails.append("image %s: size %dx%d, pdftoppm %dx%d" % (name, aw, ah, pw, ph))
        continue
    for peer, pixels in (("pdftoppm", poppler), ("mutool", mupdf)):
        bad = [i for i in range(w * h) if not close(ours[i], pixels[i])]
        if bad:
            fails.append("image %s: %d pixels differ from %s, first %d: ours %s, %s %s" %
                         (name, len(bad), peer, bad[0], ours[bad[0]], peer, pixels[bad[0]]))

# An unknown colour space: a red image and the warning.
path = os.path.join(folder, "unknown.pdf")
pdf(path, [(3, 2, b"<</XObject<</Im 300 0 R>>>>", b"q 3 0 0 2 0 0 cm /Im Do Q")],
    {300: (b"<</Type/XObject/Subtype/Image/Width 3/Height 2/ColorSpace/Spot/BitsPerComponent 8>>", samples(6))})
r = subprocess.run([pxtool, "pdf", "image", path, "1", "Im", path + ".pam"], capture_output=True, text=True)
checks += 1
if r.returncode != 0 or "Unknown, unsupported or invalid colorspace to create image: /Spot" not in r.stderr:
    fails.append("unknown space: %d %s" % (r.returncode, r.stderr))
elif set(read_pam(path + ".pam")[2]) != {(255, 0, 0, 255)}:
    fails.append("unknown space: not a red image")

# An image that cannot be decoded (a bit depth no PDF has, a damaged Flate
# stream) is drawn red and the page goes on: the square beside it is drawn.
for name, dictionary, data in (("depth3", b"/ColorSpace/DeviceRGB/BitsPerComponent 3", samples(12)),
                               ("badflate", b"/ColorSpace/DeviceRGB/BitsPerComponent 8/Filter/FlateDecode",
                                b"\x78\x9c\xff\xff\xff\xff garbage")):
    path = os.path.join(folder, name + ".pdf")
    pdf(path, [(40, 20, b"<</XObject<</Im 300 0 R>>>>", b"q 20 0 0 20 0 0 cm /Im Do Q 0 0 1 rg 20 0 20 20 re f")],
        {300: (b"<</Type/XObject/Subtype/Image/Width 2/Height 2%s>>" % dictionary, data)})
    r = subprocess.run([pxtool, "pdf", "render", path, "1", "72", path + ".ppm"], capture_output=True, text=True)
    checks += 1
    if r.returncode != 0 or "Unable to decode image: " not in r.stderr:
        fails.append("%s: %d %s" % (name, r.returncode, r.stderr))
        continue
    w, h, pixels = read_pnm(path + ".ppm")
    if (pixels[10 * w + 10], pixels[10 * w + 30]) != ((255, 0, 0), (0, 0, 255)):
        fails.append("%s: image %s, square %s" % (name, pixels[10 * w + 10], pixels[10 * w + 30]))

for line in fails:
    print("FAIL " + line)
print("done %d" % checks)
)py";

TEST(PdfColorPeers, ColoursAndImagesMatchPopplerAndMutool) {
  test::TempDir dir;
  test::WriteFileBytes(dir.File("peers.py"), Script);
  std::string output;
  const int status = test::RunCommand("/usr/bin/python3 " + dir.File("peers.py") + " " +
                                          test::BuildFile("tools/pxtool/pxtool") + " " + dir.Path().string() + " 2>&1",
                                      &output);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output.find("FAIL"), std::string::npos) << output;
  EXPECT_NE(output.find("done 35"), std::string::npos) << output;
}

}  // namespace
}  // namespace px
