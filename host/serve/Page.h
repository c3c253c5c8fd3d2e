// The status page serve answers at /: plain HTML with its style and script
// inside, nothing read from disk and nothing fetched from elsewhere.
#pragma once

extern const char kStatusPage[];
