#pragma once

// Which one-shot options the default printer's driver takes, learnt once from its settings key: black and
// white, duplex, N-up and print quality. A missing printer or a printer of another make takes none.
struct DriverCapabilities {
    bool blackAndWhite = false;
    bool duplex = false;
    bool nUp = false;
    bool printQuality = false;

    bool any() const noexcept { return blackAndWhite || duplex || nUp || printQuality; }
};
