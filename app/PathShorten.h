// Shortening of texts that do not fit their label: paths in the middle, so
// that a label shows both where a file lies and its name
// ("/srv/keldo/…/history/0A240305.hst"), other texts at the end.
#pragma once

#include <functional>
#include <string>

// Width of a text in whatever unit the caller draws in (pixels, columns).
using TextMeasure = std::function<double(const std::string&)>;

// The ellipsis put where the middle was cut (U+2026, UTF-8).
extern const char kPathEllipsis[];

// Returns `text` unchanged when it fits `maxWidth`; otherwise a head and a tail
// of it joined by the ellipsis, as long as fits.  The file name (the part after
// the last '/') is kept whole when it fits with the ellipsis in front of it; the
// rest of the width is shared between head and tail.  UTF-8 sequences are never
// split.  When not even the ellipsis fits, the result is empty.
std::string ShortenPathMiddle(const std::string& text, double maxWidth, const TextMeasure& measure);

// Returns `text` unchanged when it fits; otherwise its beginning with the
// ellipsis after it, cut after a whole word when that keeps at least half of
// what fits.  Empty when not even the ellipsis fits.
std::string ShortenTextEnd(const std::string& text, double maxWidth, const TextMeasure& measure);

// A measure that counts UTF-8 code points, for terminals.
double CodePointWidth(const std::string& text);
