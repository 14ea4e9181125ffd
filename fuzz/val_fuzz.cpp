// Number from text, and the two uses that turn typed or stored text into a
// 16-bit number: the difficulty answer and a stored score. Checks: never a
// NaN; leading blanks and trailing non-numeric text do not change the value;
// plain integers read exactly; the difficulty always lies in -32737..8 and is
// the value rounded half to even; a score value always fits 16 bits.

#include "fuzz/fuzz_support.h"
#include "game/form1.h"
#include "runtime/basic.h"
#include "scores/score_file.h"

#include <cmath>
#include <cstdint>
#include <string>

using namespace bopatron;

namespace {

// Digits only, after an optional sign, and few enough to be exact in a double.
bool plainInteger(const std::string& text) {
    std::size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size() || text.size() - i > 15) return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double value = runtime::val(text);
    fuzz::check(!std::isnan(value), "val gave NaN");
    fuzz::check(runtime::val(" \t" + text) == value, "leading blanks changed the value");
    fuzz::check(runtime::val(text + "x") == value, "a trailing letter changed the value");
    if (!text.empty() && plainInteger(text)) {
        fuzz::check(value == std::stod(text), "a plain integer misread: " + text);
    }

    const std::int16_t difficulty = game::difficultyFromAnswer(text);
    fuzz::check(difficulty >= -32737 && difficulty <= 8,
                "difficulty out of range: " + std::to_string(difficulty));
    if (value >= -32737 && value <= 8) {
        fuzz::check(difficulty == std::nearbyint(value), "difficulty not the rounded value");
    }

    const double score = scores::scoreValue(text);
    fuzz::check(std::isfinite(score), "a score that is not finite");
    fuzz::check(runtime::toInteger(score) == std::nearbyint(score), "a score that does not fit 16 bits");
    return 0;
}
