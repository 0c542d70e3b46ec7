#!/usr/bin/env python3
"""Joins 4-bit BMP pictures and 1-bit masks into one .ico file.

Usage: make_ico.py OUT.ico BMP MASK [BMP MASK ...]
Each MASK holds the picture's transparency, one bit per pixel, rows top to
bottom, set where the picture is transparent (ImageMagick's GRAY:, depth 1).
"""
import struct
import sys


def ico_image(bmp_path, mask_path):
    data = open(bmp_path, 'rb').read()
    pixels_at = struct.unpack_from('<I', data, 10)[0]
    header = bytearray(data[14:14 + 40])
    width, height = struct.unpack_from('<ii', header, 4)
    bits = struct.unpack_from('<H', header, 14)[0]
    colours = struct.unpack_from('<I', header, 32)[0] or (1 << bits)
    if bits != 4 or height <= 0:
        sys.exit('%s: want a bottom-up 4-bit BMP, got %d bits' % (bmp_path, bits))
    palette = data[54:54 + 4 * colours].ljust(64, b'\0')
    struct.pack_into('<i', header, 8, height * 2)  # XOR and AND rows
    struct.pack_into('<II', header, 16, 0, 0)  # uncompressed, size implied
    struct.pack_into('<II', header, 32, 16, 0)
    row = (width * bits + 31) // 32 * 4
    xor = data[pixels_at:pixels_at + row * height]
    # The mask arrives top-down, packed per row; ICO wants it bottom-up,
    # each row padded to four bytes.
    packed = open(mask_path, 'rb').read()
    mrow_in = (width + 7) // 8
    mrow = (width + 31) // 32 * 4
    rows = [packed[i * mrow_in:(i + 1) * mrow_in].ljust(mrow, b'\0') for i in range(height)]
    mask = b''.join(reversed(rows))
    return width, height, bytes(header) + palette + xor + mask


def main():
    out, args = sys.argv[1], sys.argv[2:]
    images = [ico_image(args[i], args[i + 1]) for i in range(0, len(args), 2)]
    blob = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for w, h, img in images:
        blob += struct.pack('<BBBBHHII', w, h, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    blob += b''.join(img for _, _, img in images)
    open(out, 'wb').write(blob)


main()
