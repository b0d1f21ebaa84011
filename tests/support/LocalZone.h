#pragma once

#include <QByteArray>

#include <cstdlib>
#include <ctime>

namespace pw::test {

// Sets the process's time zone for the lifetime of the object, so that local-time results are
// the same on every machine.
class LocalZone {
public:
    explicit LocalZone(const char* zone)
        : m_old(qgetenv("TZ"))
        , m_hadOld(qEnvironmentVariableIsSet("TZ")) {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~LocalZone() {
        if (m_hadOld)
            ::setenv("TZ", m_old.constData(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    QByteArray m_old;
    bool m_hadOld;
};

} // namespace pw::test
