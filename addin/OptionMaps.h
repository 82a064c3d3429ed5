#pragma once

#include <cstdint>

// How a ribbon state becomes a print option. The getters and the actions share these maps, so an option
// always follows the state last reported to the ribbon or last received from it. An index outside a map gives
// that map's first item's value.
namespace options {

// VARIANT_BOOL as the ribbon passes it: pressed is exactly -1 (all sixteen bits set); anything else is not.
constexpr bool isPressed(int16_t state) {
    return state == -1;
}

constexpr int32_t blackAndWhiteFor(int16_t state) {
    return isPressed(state) ? 2 : 1;
}
constexpr int32_t duplexFor(int16_t state) {
    return isPressed(state) ? 2 : 1;
}
constexpr int32_t fitToPageFor(int16_t state) {
    return isPressed(state) ? 1 : 0;
}

// The driver's print-quality codes are not in the list's order: the first item is its standard quality 2.
constexpr int32_t printQualityFor(int32_t index) {
    switch (index) {
        case 1:
            return 1;
        case 2:
            return 3;
        default:
            return 2;
    }
}

// N-up codes of the driver: the third item is 3, the fifth 8.
constexpr int32_t nUpFor(int32_t index) {
    switch (index) {
        case 1:
            return 2;
        case 2:
            return 3;
        case 3:
            return 4;
        case 4:
            return 8;
        default:
            return 1;
    }
}

constexpr int32_t pagesPerSheetFor(int32_t index) {
    switch (index) {
        case 1:
            return 2;
        case 2:
            return 4;
        case 3:
            return 8;
        default:
            return 1;
    }
}

// 0 slides, 1 notes pages, 2 outline.
constexpr int32_t layoutFor(int32_t index) {
    return (index == 1 || index == 2) ? index : 0;
}

}  // namespace options
