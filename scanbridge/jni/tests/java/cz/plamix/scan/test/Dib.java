package cz.plamix.scan.test;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/** A packed DIB with a known pattern, and the colour each pixel must decode to. */
final class Dib {
    static final int BI_RGB = 0;
    static final int BI_RLE8 = 1;
    static final int BI_BITFIELDS = 3;

    final String name;
    int headerSize = 40;
    int width;
    int height;
    int bits;
    int compression = BI_RGB;
    int clrUsed;
    int sizeImage = -1; // -1: the true size (0 for BI_RGB, as sources often leave it)
    int[] masks = {0x00FF0000, 0x0000FF00, 0x000000FF};

    Dib(String name, int width, int height, int bits) {
        this.name = name;
        this.width = width;
        this.height = height;
        this.bits = bits;
    }

    Dib header(int size) {
        headerSize = size;
        return this;
    }

    Dib compression(int value) {
        compression = value;
        return this;
    }

    Dib clrUsed(int value) {
        clrUsed = value;
        return this;
    }

    Dib sizeImage(int value) {
        sizeImage = value;
        return this;
    }

    Dib masks(int red, int green, int blue) {
        masks = new int[] {red, green, blue};
        return this;
    }

    int colours() {
        if (clrUsed != 0) return clrUsed;
        return bits <= 8 ? 1 << bits : 0;
    }

    int stride() {
        return (bits * width + 31) / 32 * 4;
    }

    int rows() {
        return Math.abs(height);
    }

    int masksAfterHeader() {
        return headerSize == 40 && compression == BI_BITFIELDS ? 12 : 0;
    }

    int pixelOffset() {
        return headerSize + masksAfterHeader() + 4 * colours();
    }

    byte[] bytes() {
        final int pixels = stride() * rows();
        final ByteBuffer dib =
                ByteBuffer.allocate(pixelOffset() + pixels).order(ByteOrder.LITTLE_ENDIAN);
        dib.putInt(headerSize).putInt(width).putInt(height).putShort((short) 1);
        dib.putShort((short) bits).putInt(compression);
        dib.putInt(sizeImage >= 0 ? sizeImage : compression == BI_RGB ? 0 : pixels);
        dib.putInt(2835).putInt(2835).putInt(clrUsed).putInt(0);
        if (headerSize > 40) {
            dib.putInt(masks[0]).putInt(masks[1]).putInt(masks[2]).putInt(0);
            dib.putInt(0x73524742); // LCS_sRGB
            if (headerSize > 108) dib.putInt(108, 4); // LCS_GM_IMAGES
        }
        dib.position(headerSize);
        if (masksAfterHeader() > 0) dib.putInt(masks[0]).putInt(masks[1]).putInt(masks[2]);
        for (int index = 0; index < colours(); ++index) {
            final int rgb = paletteColour(index);
            dib.put((byte) rgb).put((byte) (rgb >> 8)).put((byte) (rgb >> 16)).put((byte) 0);
        }
        for (int row = 0; row < rows(); ++row) {
            final int y = height > 0 ? rows() - 1 - row : row;
            final int start = pixelOffset() + row * stride();
            for (int x = 0; x < width; ++x) putPixel(dib, start, x, y);
        }
        return dib.array();
    }

    private void putPixel(ByteBuffer dib, int rowStart, int x, int y) {
        if (bits <= 8) {
            final int bitAt = x * bits;
            final int at = rowStart + bitAt / 8;
            final int shift = 8 - bits - bitAt % 8;
            dib.put(at, (byte) (dib.get(at) | index(x, y) << shift));
            return;
        }
        final int rgb = directColour(x, y);
        final int at = rowStart + x * bits / 8;
        if (bits == 16) {
            final int value = (rgb >> 19 & 0x1F) << 11 | (rgb >> 10 & 0x3F) << 5 | (rgb >> 3 & 0x1F);
            dib.putShort(at, (short) value);
        } else if (bits == 24) {
            dib.put(at, (byte) rgb).put(at + 1, (byte) (rgb >> 8)).put(at + 2, (byte) (rgb >> 16));
        } else {
            dib.putInt(at, rgb & 0xFFFFFF);
        }
    }

    private int index(int x, int y) {
        return (x * 3 + y * 5) % Math.min(colours(), 1 << bits);
    }

    private static int paletteColour(int index) {
        return (index * 37 & 0xFF) << 16 | (index * 91 + 13 & 0xFF) << 8 | (index * 53 + 101 & 0xFF);
    }

    private static int directColour(int x, int y) {
        return (x * 29 + y * 7 & 0xFF) << 16 | (x * 11 + y * 43 & 0xFF) << 8 | (x * 5 + y * 17 + 60 & 0xFF);
    }

    /** The RGB the pixel must decode to (x from the left, y from the top). */
    int expected(int x, int y) {
        if (bits <= 8) return paletteColour(index(x, y));
        final int rgb = directColour(x, y);
        if (bits != 16) return rgb;
        final int r = rgb >> 19 & 0x1F, g = rgb >> 10 & 0x3F, b = rgb >> 3 & 0x1F;
        return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
    }

    /** How far a decoded channel may stray: a 16-bit pixel's scaling is the decoder's choice. */
    int tolerance() {
        return bits == 16 ? 8 : 0;
    }
}
