package cz.plamix.scan.test;

import static cz.plamix.scan.test.Checks.check;
import static cz.plamix.scan.test.Checks.checkEquals;

import cz.plamix.scan.Scan;
import java.awt.image.BufferedImage;
import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.nio.charset.Charset;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import javax.imageio.ImageIO;

/** Drives the natives in this JVM against the stand-in engine; exits 1 on any failed check. */
public final class ScanTest {
    private static final Charset CP1250 = Charset.forName("windows-1250");

    private ScanTest() {}

    public static void main(String[] args) throws Exception {
        switch (args.length == 1 ? args[0] : "") {
            case "scan":
                sourceNames();
                settings();
                pagesDecodeToWhatWasScanned();
                callbackExceptionsAreCleared();
                missingCallbacksAreNotCalled();
                break;
            case "heap":
                pageLargerThanTheHeapIsLost();
                break;
            default:
                throw new IllegalArgumentException("scan or heap");
        }
        Checks.finish();
    }

    private static void sourceNames() {
        StandIn.reset();
        final Scan scan = new Scan();
        check(scan.getAvailableSources().length == 0, "no sources: an empty array");

        final String czech = "Skener \u010Ctvrt\u00FD \u0159ady";
        StandIn.addSource("Alpha".getBytes(CP1250));
        StandIn.addSource(czech.getBytes(CP1250));
        StandIn.addSource("Gamma 3".getBytes(CP1250));
        checkEquals(Arrays.asList("Alpha", czech, "Gamma 3"),
                Arrays.asList(scan.getAvailableSources()), "names in the manager's order");

        check(scan.selectSource(czech), "a non-ASCII name opens its source");
        check(Arrays.equals(czech.getBytes(CP1250), StandIn.openedName()),
                "the engine got the name in ANSI");
        check(!scan.selectSource("Nobody"), "an unknown name answers false");
        StandIn.takeLog();
        check(!scan.selectSource(null), "a null name answers false");
        check(!scan.selectSource("\u65E5\u672C"), "a name outside the code page answers false");
        check(!scan.selectSource("Alpha\u0000Beta"), "a name with a zero answers false");
        checkEquals("", StandIn.takeLog(), "names no source can bear never reach the engine");
    }

    private static void settings() {
        StandIn.reset();
        final Scan scan = new Scan();
        check(scan.isTwainAvailble(), "isTwainAvailble");
        StandIn.setAnswers(true, 1);
        check(scan.setPixelType(2), "setPixelType answers the engine's true");
        check(scan.setDPI(300, 200), "setDPI answers the engine's true");
        check(scan.setDoubleSided(true), "setDoubleSided answers the engine's true");
        check(StandIn.setDoubleSidedRaw(scan, 2), "setDoubleSided with 2");
        checkEquals(1, scan.setShowUI(true), "setShowUI answers 1");
        checkEquals(1, StandIn.setShowUIRaw(scan, 2), "setShowUI with 2 answers 1");
        scan.setShowUI(false);
        check(scan.selectDefaultSource(42), "selectDefaultSource answers the engine's true");
        checkEquals(1, scan.stopScanning(), "stopScanning passes the engine's value on");
        checkEquals("ApplyPixelType(2);ApplyResolution(300,200);ApplyDuplex(true);"
                        + "ApplyDuplex(false);SetShowUI(true);SetShowUI(false);SetShowUI(false);"
                        + "PickDefaultSource;StopScan;",
                StandIn.takeLog(), "engine calls (only exactly 1 is a true boolean)");

        StandIn.setAnswers(false, 0);
        check(!scan.setPixelType(2) && !scan.setDPI(300, 300) && !scan.setDoubleSided(false)
                        && !scan.selectDefaultSource(0),
                "settings answer the engine's false");
        checkEquals(0, scan.stopScanning(), "stopScanning passes 0 on");
        check(!scan.isScanning(), "not scanning outside a scan");
        StandIn.takeLog();
        scan.initInstance();
        scan.releaseInstance();
        checkEquals("", StandIn.takeLog(), "initInstance and releaseInstance do nothing");
    }

    private static List<Dib> goodPages() {
        return Arrays.asList(
                new Dib("1 bit", 13, 5, 1),
                new Dib("4 bits", 7, 3, 4),
                new Dib("8 bits, 16 colours", 5, 4, 8).clrUsed(16),
                new Dib("8 bits", 9, 2, 8),
                new Dib("8 bits top-down", 6, -5, 8),
                new Dib("24 bits 3 x 2", 3, 2, 24),
                new Dib("24 bits top-down", 11, -6, 24),
                new Dib("32 bits", 4, 3, 32),
                new Dib("32-bit bitfields", 4, 3, 32).compression(Dib.BI_BITFIELDS),
                new Dib("16-bit 565 bitfields", 5, 3, 16)
                        .compression(Dib.BI_BITFIELDS)
                        .masks(0xF800, 0x07E0, 0x001F),
                new Dib("V4 header, 24 bits", 6, 4, 24).header(108),
                new Dib("V5 header, 32-bit bitfields", 5, 5, 32)
                        .header(124)
                        .compression(Dib.BI_BITFIELDS),
                new Dib("V5 header top-down, 8 bits", 7, -3, 8).header(124));
    }

    /** Pages no source should deliver: each must be skipped without reading past its block. */
    private static List<byte[]> badPages() {
        final List<byte[]> pages = new ArrayList<>();
        pages.add(new Dib("RLE without a size", 8, 8, 8).compression(Dib.BI_RLE8).sizeImage(0).bytes());
        final byte[] tall = new Dib("says 1000 rows", 4, 2, 24).bytes();
        tall[8] = (byte) 0xE8;
        tall[9] = 0x03;
        pages.add(tall);
        final byte[] colours = new Dib("huge clrUsed", 2, 2, 8).bytes();
        colours[32] = colours[33] = colours[34] = (byte) 0xFF;
        colours[35] = 0x3F;
        pages.add(colours);
        final byte[] wide = new Dib("overflowing width", 2, 2, 32).bytes();
        wide[4] = wide[5] = wide[6] = (byte) 0xFF;
        wide[7] = 0x7F;
        pages.add(wide);
        return pages;
    }

    private static void pagesDecodeToWhatWasScanned() throws IOException {
        StandIn.reset();
        final Scan scan = new Scan();
        final Recorder recorder = new Recorder(scan);
        final List<Dib> good = goodPages();
        final List<byte[]> bad = badPages();
        for (int i = 0; i < good.size(); ++i) {
            StandIn.queuePage(good.get(i).bytes());
            if (i < bad.size()) StandIn.queuePage(bad.get(i));
        }
        check(scan.scan(3), "scan answers true");
        checkEquals(Recorder.expectedEvents(good.size()), recorder.events,
                "start, one image per good page, stop");
        check(!recorder.logAtStart.contains("RunScan"), "fireStartScanning before the scan");
        checkEquals("RunScan(3);", StandIn.takeLog(), "the scan runs once with the count");
        check(recorder.scanningDuringPages, "isScanning during the pages");
        for (int i = 0; i < Math.min(good.size(), recorder.pages.size()); ++i)
            checkPage(good.get(i), recorder.pages.get(i));

        final byte[] plain = recorder.pages.get(5);
        final byte[] header = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
        check(Arrays.equals(header, Arrays.copyOf(plain, 14)), "the file header of 24 bits 3 x 2");
        final byte[] dib = good.get(5).bytes();
        dib[20] = 24;
        check(Arrays.equals(dib, Arrays.copyOfRange(plain, 14, plain.length)),
                "the DIB follows, with its computed biSizeImage");
    }

    private static void checkPage(Dib dib, byte[] bmp) throws IOException {
        final BufferedImage image = ImageIO.read(new ByteArrayInputStream(bmp));
        if (image == null) {
            check(false, dib.name + ": does not decode");
            return;
        }
        check(image.getWidth() == dib.width && image.getHeight() == dib.rows(),
                dib.name + ": size " + image.getWidth() + " x " + image.getHeight());
        int wrong = 0;
        for (int y = 0; y < Math.min(image.getHeight(), dib.rows()); ++y) {
            for (int x = 0; x < Math.min(image.getWidth(), dib.width); ++x) {
                if (!near(image.getRGB(x, y), dib.expected(x, y), dib.tolerance())) ++wrong;
            }
        }
        check(wrong == 0, dib.name + ": " + wrong + " pixels decode wrong");
    }

    private static boolean near(int actual, int expected, int tolerance) {
        for (int shift = 0; shift < 24; shift += 8) {
            final int a = actual >> shift & 0xFF, e = expected >> shift & 0xFF;
            if (Math.abs(a - e) > tolerance) return false;
        }
        return true;
    }

    private static void callbackExceptionsAreCleared() {
        StandIn.reset();
        final Scan scan = new Scan();
        final List<String> events = new ArrayList<>();
        scan.addListener(new Scan.Listener() {
            @Override
            public void scanningStarted() {
                events.add("start");
                throw new IllegalStateException("thrown by the test in scanningStarted");
            }

            @Override
            public void newImage(byte[] bmp) {
                events.add("image");
                if (events.size() == 2) throw new IllegalStateException("thrown by the test in newImage");
            }

            @Override
            public void scanningStopped() {
                events.add("stop");
                throw new IllegalStateException("thrown by the test in scanningStopped");
            }
        });
        StandIn.queuePage(new Dib("first", 2, 2, 24).bytes());
        StandIn.queuePage(new Dib("second", 2, 2, 24).bytes());
        check(scan.scan(2), "scan answers true whatever the callbacks throw");
        checkEquals(Arrays.asList("start", "image", "image", "stop"), events,
                "the scan goes on after every exception");
        check(scan.isTwainAvailble(), "the next native runs with nothing pending");
    }

    private static void missingCallbacksAreNotCalled() {
        StandIn.reset();
        StandIn.queuePage(new Dib("for nobody", 2, 2, 24).bytes());
        check(StandIn.scanWith(new Object(), 1), "a scan for an object without the callbacks");
        checkEquals("RunScan(1);", StandIn.takeLog(), "the scan still ran");
        StandIn.deliverTo(new Object(), new Dib("no fireNewImage", 2, 2, 24).bytes());
        StandIn.deliverTo(null, new Dib("no object", 2, 2, 24).bytes());
        check(new Scan().isTwainAvailble(), "nothing left pending");
    }

    private static void pageLargerThanTheHeapIsLost() throws IOException {
        StandIn.reset();
        final Scan scan = new Scan();
        final Recorder recorder = new Recorder(scan);
        final Dib before = new Dib("before", 5, 3, 24);
        final Dib after = new Dib("after", 3, 5, 8);
        StandIn.queuePage(before.bytes());
        StandIn.queueLargePage(4000, 4000); // 48 MB, beyond -Xmx32m
        StandIn.queuePage(after.bytes());
        check(scan.scan(3), "scan answers true");
        checkEquals(Recorder.expectedEvents(2), recorder.events, "the large page is lost, only it");
        if (recorder.pages.size() == 2) {
            checkPage(before, recorder.pages.get(0));
            checkPage(after, recorder.pages.get(1));
        }
    }
}
