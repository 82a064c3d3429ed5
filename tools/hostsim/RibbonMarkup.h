#pragma once

// The simulator reads markup with the shipped markup reader (markup/), under the simulator's own names.
#include "markup/RibbonMarkup.h"

namespace hostsim {

using markup::controlsOf;
using markup::MarkupControl;
using markup::MarkupDocument;
using markup::readMarkup;

}  // namespace hostsim
