// Makes the set of discs of the folders named, as every mode does before its
// first disc, and prints how many discs it holds: the walk alone, for the
// benchmark to time against find.
//
//   discSetWalk FOLDER...

#include "discSet.h"

#include <QStringList>

#include <cstdio>

using namespace morvant;

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const DiscSet set = discSet(arguments);
    std::printf("%lld\n", static_cast<long long>(set.discs.size()));
    return set.discs.isEmpty() ? 1 : 0;
}
