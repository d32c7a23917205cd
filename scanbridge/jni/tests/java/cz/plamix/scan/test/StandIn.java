package cz.plamix.scan.test;

/** Scripts the stand-in scan engine that the test build of the library carries. */
final class StandIn {
    static {
        System.loadLibrary("scanbridge");
    }

    private StandIn() {}

    static native void reset();

    /** A source of that product name, as ANSI bytes. */
    static native void addSource(byte[] ansiName);

    /** The answer of the settings and of selectDefaultSource, and of stopScanning. */
    static native void setAnswers(boolean answer, int stop);

    /** A page for the next scan: the block as the source hands it over, starting with the DIB. */
    static native void queuePage(byte[] block);

    /** A 24-bit page made on the native side, for pages larger than the Java heap. */
    static native void queueLargePage(int width, int height);

    /** The engine's calls since the last take, each followed by ';'. */
    static native String takeLog();

    /** The bytes of the last name given to OpenSourceByName. */
    static native byte[] openedName();

    static native long lastDeliveryNanos();

    static native long memcpyNanos(int bytes);

    static native long newArrayNanos(int bytes);

    static native boolean scanWith(Object target, int count);

    static native int setShowUIRaw(Object scan, int raw);

    static native boolean setDoubleSidedRaw(Object scan, int raw);

    static native void deliverTo(Object target, byte[] block);

    /** The next engine call of that name ("RunScan", "ApplyResolution", ...) waits in the engine. */
    static native void hold(String call);

    /** Whether the held call has arrived and waits, within ten seconds. */
    static native boolean awaitHeld();

    /** Lets the held call go on. */
    static native void release();
}
