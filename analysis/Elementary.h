// Elementary functions built from the four basic operations only, so that
// their last bits do not depend on the platform's mathematics library: the
// frame analysis (and the sample generator) give the same numbers on every
// machine.
#pragma once

namespace zortan::analysis {

double detExp(double x);
double detLog(double x);           // x > 0
double detCosTurns(double turns);  // cos(2 pi turns)

}  // namespace zortan::analysis
