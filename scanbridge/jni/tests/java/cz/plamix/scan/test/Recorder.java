package cz.plamix.scan.test;

import cz.plamix.scan.Scan;
import java.util.ArrayList;
import java.util.List;

/** What a listener of a Scan heard, in order. */
class Recorder implements Scan.Listener {
    final List<String> events = new ArrayList<>();
    final List<byte[]> pages = new ArrayList<>();
    final Scan scan;
    boolean scanningDuringPages = true;
    String logAtStart;

    Recorder(Scan scan) {
        this.scan = scan;
        scan.addListener(this);
    }

    void detach() {
        scan.removeListener(this);
    }

    @Override
    public void scanningStarted() {
        events.add("start");
        logAtStart = StandIn.takeLog();
    }

    @Override
    public void newImage(byte[] bmp) {
        events.add("image");
        pages.add(bmp);
        scanningDuringPages &= scan.isScanning();
    }

    @Override
    public void scanningStopped() {
        events.add("stop");
    }

    static List<String> expectedEvents(int images) {
        final List<String> expected = new ArrayList<>();
        expected.add("start");
        for (int i = 0; i < images; ++i) expected.add("image");
        expected.add("stop");
        return expected;
    }
}
