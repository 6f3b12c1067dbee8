"""The 8-bit greyscale BMP a mask is saved as, built independently."""
import struct


def grey_bmp(rows):
    """rows: list of lists of bytes, line 0 at the top of the image."""
    nl = len(rows)
    nc = len(rows[0]) if rows else 0
    tb = (nc + 3) // 4 * 4
    size = nl * tb
    head = struct.pack("<2sIHHIIiiHHIIiiII", b"BM", 1078 + size, 0, 0, 1078, 40, nc, nl, 1, 8, 0,
                       size, 10000, 10000, 0, 0)
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256))
    pixels = b"".join(bytes(r) + b"\0" * (tb - nc) for r in reversed(rows))
    return head + palette + pixels


def mask(values, lowest):
    return grey_bmp([[1 if v == lowest else 255 for v in row] for row in values])
