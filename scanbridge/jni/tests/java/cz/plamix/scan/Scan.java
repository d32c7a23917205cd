package cz.plamix.scan;

import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;

/**
 * Scanning through TWAIN with the native library "scanbridge" (scanbridge.dll).
 *
 * <p>A scan runs synchronously on the thread that calls {@link #scan(int)}: the listeners hear
 * {@code scanningStarted}, then one {@code newImage} per page with the bytes of a BMP file, then
 * {@code scanningStopped}, all on that thread. An exception thrown by a listener is printed and
 * does not stop the scan.
 *
 * <p>The library serves one thread at a time. While a scan runs, or another thread is inside one
 * of these methods, the methods that reach the scanner do nothing and answer false (an empty
 * array, 0 for {@link #setShowUI(boolean)}), also when a listener of the scan calls them; nothing
 * waits. {@link #isScanning()} and {@link #stopScanning()} may be called from any thread and from
 * the listeners.
 */
public class Scan {
    static {
        System.loadLibrary("scanbridge");
    }

    /** What a scan reports, on the scanning thread. */
    public interface Listener {
        default void scanningStarted() {}

        void newImage(byte[] bmp);

        default void scanningStopped() {}
    }

    private final List<Listener> listeners = new CopyOnWriteArrayList<>();

    public void addListener(Listener listener) {
        listeners.add(listener);
    }

    public void removeListener(Listener listener) {
        listeners.remove(listener);
    }

    /** Always true: whether a TWAIN manager is installed shows in the other answers. */
    public native boolean isTwainAvailble();

    /** The product names of the installed sources, in the manager's order. */
    public native String[] getAvailableSources();

    /** Opens the source of that product name; false when none bears it (or name is null). */
    public native boolean selectSource(String name);

    /** Looks up the default source, to be opened by the next scan; the argument is ignored. */
    public native boolean selectDefaultSource(int ignored);

    /** Whether the source shows its own dialog during the scan; answers 1, or 0 when refused. */
    public native int setShowUI(boolean show);

    /** A TWAIN pixel type, 0..65535; false for any other value. */
    public native boolean setPixelType(int type);

    /** The resolution, each 1..65535 dots per inch, with the page size set to A4. */
    public native boolean setDPI(int x, int y);

    public native boolean setDoubleSided(boolean on);

    /**
     * Scans up to count pages (1..32767, or -1 for every page in the feeder) and returns when the
     * scan is over; answers true. Another count, or a refused call, answers false at once and
     * calls no listener.
     */
    public native boolean scan(int count);

    /** May be asked from any thread, at any time. */
    public native boolean isScanning();

    /**
     * Asks the running scan to stop, from any thread or from a listener; 1 when the stop was taken
     * or an open source was closed. A stop while the listeners hear {@code scanningStarted} keeps
     * the scan from starting. Answers 0 while another thread is inside a method other than
     * {@link #scan(int)}.
     */
    public native int stopScanning();

    public native void initInstance();

    public native void releaseInstance();

    // Called by the native library; their names and signatures are fixed.

    protected void fireStartScanning() {
        for (Listener listener : listeners) listener.scanningStarted();
    }

    protected void fireNewImage(byte[] bmp) {
        for (Listener listener : listeners) listener.newImage(bmp);
    }

    protected void fireStopScanning() {
        for (Listener listener : listeners) listener.scanningStopped();
    }
}
