#pragma once

#include <QObject>

#include <vector>

// The test classes of one test program, in link order; testmain.cpp runs them.
namespace testregistry {

struct Entry
{
    const char *name;
    QObject *(*make)();
};

inline std::vector<Entry> &entries()
{
    static std::vector<Entry> all;
    return all;
}

inline bool add(const char *name, QObject *(*make)())
{
    entries().push_back({name, make});
    return true;
}

} // namespace testregistry

// Put after the class in its test file, in place of QTEST_MAIN.
#define TESSEL_TEST(Class)                                                                                             \
    namespace {                                                                                                        \
    [[maybe_unused]] const bool registered##Class =                                                                    \
        testregistry::add(#Class, []() -> QObject * { return new Class; });                                            \
    }
