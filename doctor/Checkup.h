#pragma once

#include "doctor/Finding.h"

namespace doctor {

// Walks the chain that puts the ribbon group on screen, link by link, in the order Office meets them: the
// add-in keys of each host, the class and its server, the installation key, the texts and markup, the default
// printer and its driver, and finally what each host will show. Reads the machine as the add-in does, through
// the add-in's own settings and text code; changes nothing. Needs an apartment on the calling thread.
Report runCheckup();

}  // namespace doctor
