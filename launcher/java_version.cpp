#include "java_version.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!IsDigit(c)) return false;
    }
    return true;
}

// -1 when the number does not fit: such a text is no version anyone has installed.
int NumberOf(std::string_view digits) {
    int number = 0;
    for (char c : digits) {
        const int digit = c - '0';
        if (number > (std::numeric_limits<int>::max() - digit) / 10) return -1;
        number = number * 10 + digit;
    }
    return number;
}

}  // namespace

int JavaVersionFromText(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 2) == "1." && AllDigits(text.substr(2))) {
        return NumberOf(text.substr(2));
    }
    if (AllDigits(text)) return NumberOf(text);
    if (text.size() == 3) {
        if (!IsDigit(text[2])) {
            throw std::runtime_error("CurrentVersion \"" + std::string(text) +
                                     "\" is not a valid version number");
        }
        return text[2] - '0';
    }
    return -1;
}
