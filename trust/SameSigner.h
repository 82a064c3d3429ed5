#pragma once

#include <string>

#include "trust/Signature.h"

namespace trust {

// Whether a program signed as `other` may be started with the rights of the running program, signed as `own`:
// it must come from the same hands. A running program that is not signed (a developer's build) holds the
// other to nothing. Otherwise both signatures must verify, the other's signer must be known not to be
// revoked, and its certificate must be the running program's own or carry the same public key (the
// publisher's renewed certificate); a name is never enough, since any CA may certify a name. Empty when it
// may run; else why not, for the report.
std::string whyNotSameSigner(const Signature& own, const Signature& other);

}  // namespace trust
