#pragma once

#include <string>

namespace ictalscope {

// Fixed-point text of x, as every table, dump and field of the program writes numbers:
//  1. the exact decimal expansion of |x| is cut to 17 digits after the point below 10, to 18
//     significant digits from 10 up (rounded to nearest at that digit);
//  2. that decimal form is rounded to `decimals` digits, half away from zero (only the digit
//     after the last kept one decides);
//  3. "-" for a negative x, the integer digits (at least "0"), "." and exactly `decimals` digits;
//  4. padded on the left with blanks to `width` characters (a width above 255 counts as 255).
// Infinities and NaN are written as "INF", "-INF" and "NAN"; a negative `decimals` counts as 0.
std::string FormatFixed(long double x, int width, int decimals);

}  // namespace ictalscope
