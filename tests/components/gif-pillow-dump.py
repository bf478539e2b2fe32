# Prints what Pillow reads from a GIF, for the GIF interop tests: one line per fact.
#   python3 gif-pillow-dump.py FILE
import sys

from PIL import GifImagePlugin, Image

im = Image.open(sys.argv[1])
print("frames", im.n_frames)
im.seek(0)
print("loop", im.info.get("loop", "none"))
comment = im.info.get("comment")
print("comment", comment.hex() if comment else "none")
print("size", im.width, im.height)
for i in range(im.n_frames):
    im.seek(i)
    im.load()
    box = getattr(im, "dispose_extent", (0, 0, im.width, im.height))
    print("frame", i, "mode", im.mode, "duration", im.info.get("duration", 0),
          "transparency", im.info.get("transparency", "none"), "box", *box)
    print("rgba", im.convert("RGBA").tobytes().hex())
    if im.mode == "P":
        print("indices", im.tobytes().hex())
        print("palette", bytes(im.getpalette()).hex())
