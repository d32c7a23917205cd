package cz.plamix.scan.test;

import static cz.plamix.scan.test.Checks.check;
import static cz.plamix.scan.test.Checks.checkEquals;

import cz.plamix.scan.Scan;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.function.Function;

/**
 * Calls a Java program should not make, in this JVM against the stand-in engine: arguments the
 * scanner cannot take, natives from a second thread while another thread is inside the library,
 * and natives from inside the callbacks of a scan. Each is refused or harmless, nothing it should
 * not send reaches the engine, and a normal scan works after it. Exits 1 on any failed check.
 */
public final class RefusalTest {
    private static final long WAIT_MS = 10_000;

    /** What every native that needs the library to itself answers while it is busy. */
    private static final String REFUSED =
            "selectSource false, selectDefaultSource false, setDPI false, setPixelType false,"
                    + " setDoubleSided false, setShowUI 0, sources 0, scan false";

    private RefusalTest() {}

    public static void main(String[] args) throws Exception {
        argumentsOutOfRange();
        secondThreadDuringAScan();
        secondThreadDuringASetting();
        nativesFromTheCallbacks();
        stopFromTheMiddleOfABatch();
        stopBeforeTheScanStarts();
        stopStillInsideAfterItsScan();
        Checks.finish();
    }

    /** One call and what it must come to: its answer, the engine's calls, the callbacks. */
    private record Row(String call, Function<Scan, Object> run, Object answer, String engineLog,
            List<String> events) {}

    private static Row refused(String call, Function<Scan, Object> run) {
        return new Row(call, run, false, "", List.of());
    }

    private static Row applied(String call, Function<Scan, Object> run, String engineLog) {
        return new Row(call, run, true, engineLog, List.of());
    }

    private static Row scans(int count) {
        return new Row("scan(" + count + ")", scan -> scan.scan(count), true,
                "RunScan(" + count + ");", Recorder.expectedEvents(0));
    }

    private static void argumentsOutOfRange() {
        final List<Row> rows = List.of(
                refused("selectSource(null)", scan -> scan.selectSource(null)),
                // A transfer count is 1..32767, or -1 for every page in the feeder.
                scans(-1),
                scans(1),
                scans(32767),
                refused("scan(0)", scan -> scan.scan(0)),
                refused("scan(-2)", scan -> scan.scan(-2)),
                refused("scan(32768)", scan -> scan.scan(32768)),
                refused("scan(65535)", scan -> scan.scan(65535)),
                refused("scan(MIN_VALUE)", scan -> scan.scan(Integer.MIN_VALUE)),
                refused("scan(MAX_VALUE)", scan -> scan.scan(Integer.MAX_VALUE)),
                // Resolutions are 1..65535 dots per inch.
                applied("setDPI(1, 1)", scan -> scan.setDPI(1, 1), "ApplyResolution(1,1);"),
                applied("setDPI(300, 600)", scan -> scan.setDPI(300, 600),
                        "ApplyResolution(300,600);"),
                applied("setDPI(65535, 65535)", scan -> scan.setDPI(65535, 65535),
                        "ApplyResolution(65535,65535);"),
                refused("setDPI(0, 300)", scan -> scan.setDPI(0, 300)),
                refused("setDPI(300, 0)", scan -> scan.setDPI(300, 0)),
                refused("setDPI(-1, 300)", scan -> scan.setDPI(-1, 300)),
                refused("setDPI(300, -1)", scan -> scan.setDPI(300, -1)),
                refused("setDPI(65536, 300)", scan -> scan.setDPI(65536, 300)),
                refused("setDPI(300, 65536)", scan -> scan.setDPI(300, 65536)),
                refused("setDPI(65836, 65836)", scan -> scan.setDPI(65836, 65836)),
                // Pixel types are 0..65535.
                applied("setPixelType(0)", scan -> scan.setPixelType(0), "ApplyPixelType(0);"),
                applied("setPixelType(65535)", scan -> scan.setPixelType(65535),
                        "ApplyPixelType(65535);"),
                refused("setPixelType(-1)", scan -> scan.setPixelType(-1)),
                refused("setPixelType(65536)", scan -> scan.setPixelType(65536)),
                refused("setPixelType(MIN_VALUE)", scan -> scan.setPixelType(Integer.MIN_VALUE)));

        for (Row row : rows) {
            final Scan scan = freshScan(1);
            final Recorder recorder = new Recorder(scan);
            checkEquals(row.answer(), row.run().apply(scan), row.call() + ": answer");
            checkEquals(row.engineLog(), StandIn.takeLog(), row.call() + ": engine calls");
            checkEquals(row.events(), recorder.events, row.call() + ": callbacks");
            recorder.detach();
            normalScanWorks(scan, row.call());
        }
    }

    private static void secondThreadDuringAScan() throws InterruptedException {
        final Scan scan = freshScan(1);
        final Recorder recorder = new Recorder(scan);
        StandIn.queuePage(page());
        final boolean[] answer = new boolean[1];
        final Thread scanning = new Thread(() -> answer[0] = scan.scan(1), "scanning");
        StandIn.hold("RunScan");
        scanning.start();
        try {
            check(StandIn.awaitHeld(), "the scan reaches the engine");
            StandIn.takeLog();
            checkEquals(REFUSED, gatedAnswers(scan), "another thread during a scan");
            checkEquals("", StandIn.takeLog(), "nothing else reaches the engine during a scan");
            check(scan.isScanning(), "isScanning from another thread during a scan");
            checkEquals(1, scan.stopScanning(), "stopScanning from another thread");
            // As a request: the scanning thread, held as its engine starts,
            // must still see it once it goes on.
            checkEquals("RequestStop;", StandIn.takeLog(), "the stop reaches the engine");
            check(!scan.isScanning(), "isScanning after the stop");
        } finally {
            StandIn.release();
        }
        scanning.join(WAIT_MS);
        check(!scanning.isAlive(), "the scan comes back");
        check(answer[0], "the stopped scan answers true");
        checkEquals(Recorder.expectedEvents(0), recorder.events,
                "the page after the stop is dropped, the scan ends with its callback");
        recorder.detach();
        normalScanWorks(scan, "another thread during a scan");
    }

    private static void secondThreadDuringASetting() throws InterruptedException {
        final Scan scan = freshScan(1);
        final Recorder recorder = new Recorder(scan);
        final boolean[] answer = new boolean[1];
        final Thread setting = new Thread(() -> answer[0] = scan.setDPI(300, 300), "setting");
        StandIn.hold("ApplyResolution");
        setting.start();
        try {
            check(StandIn.awaitHeld(), "the setting reaches the engine");
            StandIn.takeLog();
            checkEquals(REFUSED, gatedAnswers(scan), "another thread during a setting");
            check(!scan.isScanning(), "isScanning during a setting");
            // No scan runs, and closing the source beneath the setting would race with it.
            checkEquals(0, scan.stopScanning(), "stopScanning during a setting");
            checkEquals("", StandIn.takeLog(), "nothing reaches the engine beside the setting");
            checkEquals(List.of(), recorder.events, "the refused scan calls no callback");
        } finally {
            StandIn.release();
        }
        setting.join(WAIT_MS);
        check(!setting.isAlive(), "the setting comes back");
        check(answer[0], "the setting answers the engine's true");
        recorder.detach();
        normalScanWorks(scan, "another thread during a setting");
    }

    private static void nativesFromTheCallbacks() {
        final Scan scan = freshScan(1);
        final List<String> heard = new ArrayList<>();
        final Scan.Listener listener = new Scan.Listener() {
            @Override
            public void scanningStarted() {
                heard.add("start: " + gatedAnswers(scan) + ", scanning " + scan.isScanning());
            }

            @Override
            public void newImage(byte[] bmp) {
                heard.add("image: " + gatedAnswers(scan) + ", scanning " + scan.isScanning());
            }

            @Override
            public void scanningStopped() {
                heard.add("stop: " + gatedAnswers(scan) + ", scanning " + scan.isScanning());
            }
        };
        scan.addListener(listener);
        StandIn.queuePage(page());
        StandIn.queuePage(page());
        check(scan.scan(2), "a scan whose callbacks call natives answers true");
        checkEquals(List.of("start: " + REFUSED + ", scanning true",
                            "image: " + REFUSED + ", scanning true",
                            "image: " + REFUSED + ", scanning true",
                            "stop: " + REFUSED + ", scanning false"),
                heard, "natives from the callbacks, no nested scan");
        checkEquals("RunScan(2);", StandIn.takeLog(), "only the scan itself reaches the engine");
        scan.removeListener(listener);
        normalScanWorks(scan, "natives from the callbacks");
    }

    private static void stopFromTheMiddleOfABatch() {
        for (int engineAnswer : new int[] {1, 0}) {
            final String what = "stopScanning from fireNewImage, engine answering " + engineAnswer;
            final Scan scan = freshScan(engineAnswer);
            final Recorder recorder = new Recorder(scan);
            final List<String> stops = new ArrayList<>();
            final Scan.Listener stopper = bmp -> {
                if (stops.isEmpty()) stops.add(scan.stopScanning() + ", scanning " + scan.isScanning());
            };
            scan.addListener(stopper);
            for (int i = 0; i < 3; ++i) StandIn.queuePage(page());
            check(scan.scan(3), what + ": the scan answers true");
            checkEquals(List.of(engineAnswer + ", scanning false"), stops, what + ": its answer");
            checkEquals(Recorder.expectedEvents(1), recorder.events,
                    what + ": the pages after the stop are dropped");
            checkEquals("RunScan(3);RequestStop;", StandIn.takeLog(), what + ": engine calls");
            scan.removeListener(stopper);
            recorder.detach();
            normalScanWorks(scan, what);
        }
    }

    /** A stop during fireStartScanning, from that thread or another: the scan does not start. */
    private static void stopBeforeTheScanStarts() throws InterruptedException {
        for (boolean fromAnotherThread : new boolean[] {false, true}) {
            final String what = "stopScanning from fireStartScanning"
                    + (fromAnotherThread ? ", on another thread" : "");
            final Scan scan = freshScan(0);
            final Recorder recorder = new Recorder(scan);
            final int[] stopAnswer = {-1};
            final boolean[] scanningAtStart = {false};
            final Scan.Listener stopper = new Scan.Listener() {
                @Override
                public void scanningStarted() {
                    // What a stop button asks before it stops.
                    scanningAtStart[0] = scan.isScanning();
                    final Runnable stop = () -> stopAnswer[0] = scan.stopScanning();
                    if (!fromAnotherThread) {
                        stop.run();
                        return;
                    }
                    final Thread other = new Thread(stop, "stopping");
                    other.start();
                    try {
                        other.join(WAIT_MS);
                    } catch (InterruptedException e) {
                        throw new IllegalStateException(e);
                    }
                }

                @Override
                public void newImage(byte[] bmp) {}
            };
            scan.addListener(stopper);
            check(scan.scan(1), what + ": the scan answers true");
            check(scanningAtStart[0], what + ": isScanning during fireStartScanning");
            checkEquals(1, stopAnswer[0], what + ": the stop is taken");
            checkEquals(Recorder.expectedEvents(0), recorder.events, what + ": callbacks");
            // The scanning thread tells the engine; the acquisition never starts.
            checkEquals("StopScan;", StandIn.takeLog(), what + ": engine calls");
            scan.removeListener(stopper);
            recorder.detach();
            normalScanWorks(scan, what);
        }
    }

    /** A stop that began during a scan keeps the library busy until it is out of the engine. */
    private static void stopStillInsideAfterItsScan() throws InterruptedException {
        final Scan scan = freshScan(1);
        final Thread[] stopping = new Thread[1];
        final int[] stopAnswer = {-1};
        final Scan.Listener listener = bmp -> {
            stopping[0] = new Thread(() -> stopAnswer[0] = scan.stopScanning(), "stopping");
            stopping[0].start();
            check(StandIn.awaitHeld(), "the stop from another thread reaches the engine");
        };
        scan.addListener(listener);
        StandIn.queuePage(page());
        StandIn.hold("RequestStop");
        try {
            check(scan.scan(1), "the scan answers true");
            check(stopping[0] != null, "a page was delivered");
            checkEquals(REFUSED, gatedAnswers(scan), "natives while the stop is in the engine");
            checkEquals(0, scan.stopScanning(), "a second stop while the first is in the engine");
        } finally {
            StandIn.release();
        }
        if (stopping[0] != null) stopping[0].join(WAIT_MS);
        checkEquals(1, stopAnswer[0], "the stop answers the engine's value");
        checkEquals("RunScan(1);RequestStop;", StandIn.takeLog(), "engine calls");
        scan.removeListener(listener);
        normalScanWorks(scan, "a stop still in the engine");
    }

    /** A Scan on a fresh stand-in with one source, whose settings answer true. */
    private static Scan freshScan(int stopAnswer) {
        StandIn.reset();
        StandIn.addSource("Alpha".getBytes(StandardCharsets.US_ASCII));
        StandIn.setAnswers(true, stopAnswer);
        return new Scan();
    }

    private static byte[] page() {
        return new Dib("page", 2, 2, 24).bytes();
    }

    /** The answers of every native that needs the library to itself, in one line. */
    private static String gatedAnswers(Scan scan) {
        return "selectSource " + scan.selectSource("Alpha")
                + ", selectDefaultSource " + scan.selectDefaultSource(0)
                + ", setDPI " + scan.setDPI(300, 300)
                + ", setPixelType " + scan.setPixelType(2)
                + ", setDoubleSided " + scan.setDoubleSided(true)
                + ", setShowUI " + scan.setShowUI(false)
                + ", sources " + scan.getAvailableSources().length
                + ", scan " + scan.scan(1);
    }

    private static void normalScanWorks(Scan scan, String after) {
        StandIn.takeLog();
        check(scan.setDPI(300, 300), "after " + after + ": setDPI answers true");
        checkEquals("ApplyResolution(300,300);", StandIn.takeLog(), "after " + after + ": setDPI");
        final Recorder recorder = new Recorder(scan);
        StandIn.queuePage(page());
        check(scan.scan(1), "after " + after + ": a scan answers true");
        checkEquals(Recorder.expectedEvents(1), recorder.events, "after " + after + ": callbacks");
        checkEquals("RunScan(1);", StandIn.takeLog(), "after " + after + ": engine calls");
        recorder.detach();
    }
}
