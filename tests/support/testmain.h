// Several Qt Test classes in one executable: each test file registers its class with
// VARNO_TEST_CLASS, and testmain.cpp runs them one after the other.
#pragma once

#include <QObject>

#include <vector>

namespace testmain {
using Factory = QObject *(*)();
inline std::vector<Factory> &classes()
{
    static std::vector<Factory> all;
    return all;
}
struct Register
{
    explicit Register(Factory f) { classes().push_back(f); }
};
} // namespace testmain

#define VARNO_TEST_CLASS(Class)                                                                    \
    static const testmain::Register varnoRegister##Class([]() -> QObject * { return new Class; });
