#ifndef WINE_H
#define WINE_H

// Whether this Windows program runs under Wine; always false on every other system.
bool runningUnderWine();

#endif // WINE_H
