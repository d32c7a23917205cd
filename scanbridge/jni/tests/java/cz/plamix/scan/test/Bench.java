package cz.plamix.scan.test;

import cz.plamix.scan.Scan;

/**
 * Delivery of an A4 page at 300 dpi in 24 bits in this JVM, next to its floor: what the JVM
 * must do for any page handed to Java as a new byte[], zeroing the new array and taking one copy
 * of the bytes. Prints figures; sets no limit.
 */
public final class Bench {
    private Bench() {}

    public static void main(String[] args) {
        final int width = 2480, height = 3508, runs = 15;
        final int fileSize = 14 + 40 + (width * 3 + 3) / 4 * 4 * height;
        StandIn.reset();
        final Scan scan = new Scan();
        final int[] delivered = new int[1];
        scan.addListener(bmp -> delivered[0] = bmp.length);

        final long[] deliver = new long[runs];
        final long[] copy = new long[runs];
        final long[] allocate = new long[runs];
        for (int run = 0; run < runs; ++run) {
            StandIn.queueLargePage(width, height);
            scan.scan(1);
            if (delivered[0] != fileSize) throw new IllegalStateException("page not delivered");
            deliver[run] = StandIn.lastDeliveryNanos();
            copy[run] = StandIn.memcpyNanos(fileSize);
            allocate[run] = StandIn.newArrayNanos(fileSize);
            System.out.printf("run %d: deliver %.2f ms, memcpy %.2f ms (new array alone %.2f ms)%n",
                    run + 1, deliver[run] / 1e6, copy[run] / 1e6, allocate[run] / 1e6);
        }
        java.util.Arrays.sort(deliver);
        java.util.Arrays.sort(copy);
        java.util.Arrays.sort(allocate);
        final double d = deliver[runs / 2] / 1e6;
        final double a = allocate[runs / 2] / 1e6;
        final double c = copy[runs / 2] / 1e6;
        System.out.printf("A4 300 dpi 24 bits (%d x %d, %d bytes), median of %d runs:%n", width,
                height, fileSize, runs);
        System.out.printf("  delivery %.2f ms: the image hook from the block in hand to its return,"
                + " fireNewImage included (its listener only keeps the length)%n", d);
        System.out.printf("  floor %.2f ms: the JVM's zeroed new byte[] of the file's size %.2f ms"
                + " + one memcpy of as many bytes %.2f ms%n", a + c, a, c);
        System.out.printf("  delivery / floor %.2f%n", d / (a + c));
    }
}
