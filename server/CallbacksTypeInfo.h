#pragma once

#include "server/TypeInfoHolder.h"

// The ribbon callback interface's one type-information holder, shared by every class that offers the
// interface: its type information and name cache are loaded once for all of them.
extern CComTypeInfoHolder callbacksTypeInfo;
