#pragma once

// How a fuzz target tells of a rule that an input broke: it aborts, which
// libFuzzer reports as a finding together with the input.

#include <QString>

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fail(const char *rule, const QString &detail)
{
    std::fprintf(stderr, "broken rule: %s\n%s\n", rule, qUtf8Printable(detail));
    std::abort();
}

inline void check(bool holds, const char *rule, const QString &detail = QString())
{
    if (!holds)
        fail(rule, detail);
}
