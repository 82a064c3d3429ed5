// Resource identifiers of the About boxes, shared by the resource script and the dialogs' code (so plain
// macros: the resource compiler reads this file too).
#pragma once

#define QUILLERY_BANNER_BITMAP 200

// The left-to-right box.
#define QUILLERY_ABOUT_TEMPLATE 400
#define QUILLERY_ABOUT_OK 401
#define QUILLERY_ABOUT_BANNER 402
#define QUILLERY_ABOUT_VERSION 403
#define QUILLERY_ABOUT_COPYRIGHT 404
#define QUILLERY_ABOUT_ALL_RIGHTS 405

// The right-to-left box: the same controls, mirrored, with identifiers of their own.
#define QUILLERY_ABOUT_RTL_TEMPLATE 410
#define QUILLERY_ABOUT_RTL_OK 411
#define QUILLERY_ABOUT_RTL_BANNER 412
#define QUILLERY_ABOUT_RTL_VERSION 413
#define QUILLERY_ABOUT_RTL_COPYRIGHT 414
#define QUILLERY_ABOUT_RTL_ALL_RIGHTS 415
