package cz.plamix.scan.test;

/** The checks of one JVM test run: each failed one is printed, and the run exits 1 after any. */
final class Checks {
    private static int failures;

    private Checks() {}

    static void check(boolean ok, String what) {
        if (ok) return;
        ++failures;
        System.out.println("FAILED: " + what);
    }

    static void checkEquals(Object expected, Object actual, String what) {
        check(expected.equals(actual), what + ": expected <" + expected + "> got <" + actual + ">");
    }

    static void finish() {
        System.out.println(failures == 0 ? "all checks passed" : failures + " checks failed");
        System.exit(failures == 0 ? 0 : 1);
    }
}
