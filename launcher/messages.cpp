#include "messages.h"

#include "java_version.h"

// Escapes keep the bytes independent of the source file's encoding. A literal is split where
// a hex digit follows an escape, since the escape would swallow it.

const char* const kErrorCaption = "Chyba";

std::string NoParametersMessage() {
    return "Nepoda\xF8ilo se spustit aplikaci, proto\x9E"
           "e nebyly nalezeny parametry pro spu\x9At\xECn\xED.";
}

std::string NoJavaMessage() {
    return "Nepoda\xF8ilo se nal\xE9zt instalaci Javy, kter\xE1 je pot\xF8"
           "eba pro spu\x9At\xECn\xED t\xE9to aplikace. Prove\xEFte pros\xEDm reinstalaci Javy.";
}

std::string OldJavaMessage() {
    return "Pravd\xECpodobn\xEC m\xE1te nainstalov\xE1nu starou verzi Javy a je tak mo\x9En\xE9, "
           "\x9E"
           "e se aplikace nespust\xED. Nainstalujte pros\xEDm alespo\xF2 Javu verze " +
           std::to_string(RequiredJavaVersion) + ".";
}

std::string LaunchFailureMessage(const std::string& failureText) {
    return "Nastala chyba p\xF8i spou\x9At\xECn\xED aplikace. Chyba: " + failureText;
}

const char* const kReadingParametersStage = "Za\xE8\xEDn\xE1m \xE8\xEDst parametry...";
const char* const kDetectingJavaStage = "Za\xE8\xEDn\xE1m detekovat verzi Javy...";
const char* const kProbingJavaStage = "Detekuji, zda je Java nainstalov\xE1na...";
const char* const kCheckingVersionStage = "Detekuji, zda je Java korektn\xED verze...";
const char* const kStartingStage = "Spou\x9At\xEDm aplikaci. Parametry: ";
const char* const kAppPathStage = "AppPath: ";
const char* const kJavaKeyStage = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char* const kValueExistsStage = "Test existence CurrentVersion";
const char* const kReadingValueStage = "\xC8tu CurrentVersion";
const char* const kVersionNumberStage = "Navratova hodnota: ";
