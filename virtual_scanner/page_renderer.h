#pragma once

#include "page_format.h"
#include "page_pattern.h"

// The page as a packed DIB in a movable global block, the form in which a
// native transfer hands it to the application, which then owns and frees it.
// Null when the memory for it cannot be had.
HGLOBAL RenderPage(const PageFormat& format, const PageFace& face);
