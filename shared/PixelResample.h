// Resizing decoded pixels, for photos served smaller than stored.
#pragma once

#include "platform/ImageCodec.h"

// The pixels at width × height (each at least 1), every channel alike. Each
// result pixel averages the source pixels it covers under a triangle as wide
// as the reduction, so that fine detail (grain, thin lines) turns into its
// average rather than into false patterns.
TJpegPixels ResamplePixels(const TJpegPixels& source, int width, int height);
