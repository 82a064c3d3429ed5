#pragma once

#include "doctor/Finding.h"

namespace doctor {

// What a run looks at: every installed Office, each in its own registry view, or only the Office of this
// program's bitness in this program's view (as the doctor of the other bitness is asked to).
enum class Scope { EveryOffice, ThisBitness };

// Finds which Office is installed, 64-bit or 32-bit, and checks the add-in registered for it. Then walks, for
// each Office, the chain that puts the ribbon group on screen, link by link, in the order Office meets them:
// the add-in keys of each host, the class and its server, the installation key, the texts and markup, the
// default printer and its driver, and finally what each host will show. Reads the machine as the add-in does,
// through the add-in's own settings and text code; changes nothing. Needs an apartment on the calling thread.
Report runCheckup(Scope scope = Scope::EveryOffice);

}  // namespace doctor
